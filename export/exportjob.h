#pragma once

#include "exportitems.h"
#include "exportreport.h"
#include "exportrun.h"

#include <QDeadlineTimer>
#include <QObject>

#include <atomic>
#include <exception>
#include <memory>
#include <vector>

class QThread;

namespace sondrel {

// One export, from the checks to the report, on a thread of its own: the window and the
// command line each start one and show what it reports.
//
// start() takes the snapshot of the request on the calling thread, so that the job reads
// nothing of the caller's afterwards, and runs the checks on the job's thread (the plan
// lists folders and may compare files: the caller's thread stays free). What the checks
// would show (their messages, the run-time error report, the pointer) is kept, in order,
// and told to the caller's host by tellChecks(). When they pass, the copies follow at
// once, and progress() tells how far they are. Signals are emitted on the job's thread
// (queued to a receiver on another).
class ExportJob : public QObject
{
    Q_OBJECT

public:
    enum class Kind {
        Export,  // checks, copies, playlists, the errors list and the record
        Preview, // the checks of a run that is only shown (ExportRun::preview)
    };

    explicit ExportJob(const FileSystem &fs, Kind kind = Kind::Export, QObject *parent = nullptr);
    // Cancels the run and waits for its end.
    ~ExportJob() override;

    void start(const TrackTable &table, const ExportRequest &request);
    // Asks the copies to stop; they end at the next piece.
    void cancel() { m_progress.cancel(); }
    // True once the job has ended (at once when it never started).
    bool wait(QDeadlineTimer deadline = QDeadlineTimer(QDeadlineTimer::Forever));

    // After checked().
    ExportRun::Outcome outcome() const { return m_outcome; }
    void tellChecks(ExportHost &host) const;
    std::uint64_t bytesToCopy() const { return m_run->bytesToCopy(); }
    const ExportSnapshot &snapshot() const { return m_run->snapshot(); }

    ExportProgress &progress() { return m_progress; }
    // After finished(): the copies began (checks that passed, and no cancel before them).
    bool copied() const { return m_copied; }

    // After finished(), for checks that passed: how the run went. An exception that ended
    // the run on its thread is thrown here.
    const ExportReport &report() const;
    // Tells the report to `host` (see tellReport).
    void tell(ExportHost &host) const { tellReport(host, report()); }

Q_SIGNALS:
    // The checks are done: outcome() says how they went; on Ready the copies have begun.
    void checked();
    // The job has ended.
    void finished();

private:
    class Recorder;
    void work();

    std::unique_ptr<Recorder> m_recorder;
    std::unique_ptr<ExportRun> m_run;
    Kind m_kind;
    ExportProgress m_progress;
    ExportRun::Outcome m_outcome = ExportRun::Outcome::Failed;
    ExportReport m_report;
    bool m_copied = false;
    std::exception_ptr m_error;
    std::unique_ptr<QThread> m_thread;
};

} // namespace sondrel
