#pragma once

#include "platformerror.h"
#include "process.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace sondrel::test {

// One program start as it was asked for.
struct StartedProcess
{
    std::string program;
    std::vector<std::string> arguments;
    WindowStyle style;
    bool waited = false; // started with startAndWait
};

// What the programs a RecordingStarter "starts" do.
struct RecordedOutcome
{
    std::optional<PlatformError> failure; // raised by every start instead; nothing is logged
    int exitStatus = 0;                   // what startAndWait returns
};

// Records each start in a log shared with the test instead of starting anything.
class RecordingStarter : public ProcessStarter
{
public:
    using Log = std::shared_ptr<std::vector<StartedProcess>>;

    explicit RecordingStarter(Log log, RecordedOutcome outcome = {})
        : m_log(std::move(log)), m_outcome(std::move(outcome))
    {
    }

    void startDetached(const std::string &program, const std::vector<std::string> &arguments,
                       WindowStyle style) override
    {
        if (m_outcome.failure)
            throw *m_outcome.failure;
        m_log->push_back({program, arguments, style, false});
    }

    int startAndWait(const std::string &program, const std::vector<std::string> &arguments,
                     WindowStyle style) override
    {
        if (m_outcome.failure)
            throw *m_outcome.failure;
        m_log->push_back({program, arguments, style, true});
        return m_outcome.exitStatus;
    }

    // A factory for the services of a window, logging into `log`.
    static auto factory(Log log, RecordedOutcome outcome = {})
    {
        return [log, outcome] {
            return std::unique_ptr<ProcessStarter>(
                std::make_unique<RecordingStarter>(log, outcome));
        };
    }

private:
    Log m_log;
    RecordedOutcome m_outcome;
};

} // namespace sondrel::test
