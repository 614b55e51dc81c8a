#include "exportjob.h"

#include <QThread>

#include <optional>

namespace sondrel {

// Keeps what the checks show, in order, for the host of the caller's thread.
class ExportJob::Recorder : public ExportHost
{
public:
    struct Event
    {
        enum class Kind { Message, Failure, Busy, Pointer } kind;
        QString text;
        std::optional<PlatformError> error;
    };
    std::vector<Event> events;

    void message(const QString &text) override
    {
        events.push_back({Event::Kind::Message, text, {}});
    }
    void failure(const PlatformError &error) override
    {
        events.push_back({Event::Kind::Failure, {}, error});
    }
    void setBusy(bool busy) override
    {
        events.push_back({busy ? Event::Kind::Busy : Event::Kind::Pointer, {}, {}});
    }
};

ExportJob::ExportJob(const FileSystem &fs, Kind kind, QObject *parent)
    : QObject(parent), m_recorder(std::make_unique<Recorder>()),
      m_run(std::make_unique<ExportRun>(fs, *m_recorder)), m_kind(kind)
{
}

ExportJob::~ExportJob()
{
    cancel();
    wait();
}

void ExportJob::start(const TrackTable &table, const ExportRequest &request)
{
    m_run->prepare(table, request);
    m_thread.reset(QThread::create([this] { work(); }));
    m_thread->start();
}

void ExportJob::work()
{
    try {
        m_outcome = m_kind == Kind::Preview ? m_run->preview() : m_run->check();
        Q_EMIT checked();
        // A cancel that came during the checks leaves the run unstarted.
        if (m_outcome == ExportRun::Outcome::Ready && m_kind == Kind::Export &&
            !m_progress.cancelled()) {
            m_copied = true;
            m_report = m_run->copy(m_progress);
        }
    } catch (...) {
        m_error = std::current_exception();
    }
    Q_EMIT finished();
}

bool ExportJob::wait(QDeadlineTimer deadline)
{
    return !m_thread || m_thread->wait(deadline);
}

void ExportJob::tellChecks(ExportHost &host) const
{
    for (const Recorder::Event &event : m_recorder->events) {
        switch (event.kind) {
        case Recorder::Event::Kind::Message:
            host.message(event.text);
            break;
        case Recorder::Event::Kind::Failure:
            host.failure(*event.error);
            break;
        case Recorder::Event::Kind::Busy:
            host.setBusy(true);
            break;
        case Recorder::Event::Kind::Pointer:
            host.setBusy(false);
            break;
        }
    }
}

const ExportReport &ExportJob::report() const
{
    if (m_error)
        std::rethrow_exception(m_error);
    return m_report;
}

} // namespace sondrel
