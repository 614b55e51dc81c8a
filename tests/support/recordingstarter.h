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
};

// Records each start in a log shared with the test instead of starting anything; with a
// failure given, every start raises it instead and nothing is logged.
class RecordingStarter : public ProcessStarter
{
public:
    using Log = std::shared_ptr<std::vector<StartedProcess>>;

    explicit RecordingStarter(Log log, std::optional<PlatformError> failure = std::nullopt)
        : m_log(std::move(log)), m_failure(std::move(failure))
    {
    }

    void startDetached(const std::string &program, const std::vector<std::string> &arguments,
                       WindowStyle style) override
    {
        if (m_failure)
            throw *m_failure;
        m_log->push_back({program, arguments, style});
    }

    // A factory for the services of a window, logging into `log`.
    static auto factory(Log log, std::optional<PlatformError> failure = std::nullopt)
    {
        return [log, failure] {
            return std::unique_ptr<ProcessStarter>(std::make_unique<RecordingStarter>(log, failure));
        };
    }

private:
    Log m_log;
    std::optional<PlatformError> m_failure;
};

} // namespace sondrel::test
