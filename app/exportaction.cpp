#include "exportaction.h"

#include "exportrun.h"
#include "filesystem.h"
#include "frmmain.h"
#include "messages.h"
#include "selectionaction.h"
#include "controls.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QLabel>
#include <QProgressBar>
#include <QProgressDialog>
#include <QPushButton>
#include <QThread>
#include <QTimer>

#include <cstdlib>
#include <memory>
#include <optional>

namespace sondrel {

namespace {

// The checks' view of the main window.
class WindowExportHost : public ExportHost
{
public:
    explicit WindowExportHost(FrmMain &window) : m_window(window) {}

    void message(const QString &text) override { showMessage(&m_window, text); }
    void failure(const PlatformError &error) override { showRunTimeError(&m_window, error); }

    void setBusy(bool busy) override
    {
        if (busy)
            m_wait.emplace();
        else
            m_wait.reset();
    }

private:
    FrmMain &m_window;
    std::optional<WaitCursor> m_wait;
};

// How long after Cancel a read that has not returned is shown as waited for.
constexpr int WaitNoteMs = 2000;

// The bar's range is an int and the totals reach many gigabytes: it runs over steps.
constexpr int BarSteps = 10000;

int barValue(std::uint64_t done, std::uint64_t total)
{
    if (total == 0)
        return 0;
    return int(double(std::min(done, total)) / double(total) * BarSteps);
}

// The progress window of a run: the program's title, the status text, a bar over the
// bytes copied and "Cancel"; modal to the main window only. Returns its bar.
QProgressBar *buildProgressWindow(QProgressDialog &dialog)
{
    dialog.setObjectName(QStringLiteral("FrmExportProgress"));
    dialog.setWindowTitle(QCoreApplication::applicationName());
    dialog.setWindowFlags(classicWindowFlags(WindowKind::Dialog));
    dialog.setWindowModality(Qt::WindowModal);
    dialog.setFont(tahoma());
    auto *label = makeControl<QLabel>(&dialog, "LblExportProgress");
    label->setWordWrap(true);
    dialog.setLabel(label);
    auto *bar = makeControl<QProgressBar>(&dialog, "BarExportProgress");
    dialog.setBar(bar);
    dialog.setCancelButton(makeButton(&dialog, "BtnCancel", QStringLiteral("Cancel")));
    dialog.setRange(0, BarSteps);
    dialog.setAutoReset(false);
    dialog.setAutoClose(false);
    dialog.setMinimumDuration(0);
    dialog.setMinimumWidth(twips(6000));
    return bar;
}

} // namespace

void exportSelectedFiles(FrmMain &window)
{
    const std::unique_ptr<FileSystem> fs = window.services().fileSystem();
    if (!fs)
        return;
    const AppState &state = window.state();
    ExportRequest request;
    request.playerDrive = state.playerDrive();
    request.exportDirectory = state.exportDirectory();
    request.marked = markedTracksInListOrder(window);
    request.totals = state.totals();
    request.fields = state.nameFields();
    request.options = state.exportOptions();
    WindowExportHost host(window);
    ExportRun run(*fs, host);
    // The plan (the record, the folders, the files to compare) runs on a thread of its own
    // while this one keeps the window painted; the buttons that change what is exported
    // are locked meanwhile, and closing the window waits for it.
    const ExportRun::Worker offThread = [&](const std::function<void()> &work) {
        const std::unique_ptr<QThread> planning(QThread::create(work));
        QEventLoop loop;
        QObject::connect(planning.get(), &QThread::finished, &loop, &QEventLoop::quit);
        window.setExportRunning([&] { planning->wait(); });
        QApplication::setOverrideCursor(Qt::BusyCursor);
        planning->start();
        loop.exec();
        planning->wait();
        QApplication::restoreOverrideCursor();
        window.setExportRunning({});
    };
    if (run.check(state.tracks(), request, offThread) != ExportRun::Outcome::Ready)
        return;
    if (!window.isVisible()) { // the window was closed while the run was planned
        host.setBusy(false);
        return;
    }

    const std::uint64_t total = run.bytesToCopy();
    QLabel *status = window.LblStatusExport;
    status->setText(QString());
    status->show();

    // The copies run on a thread of their own; this thread keeps the windows painted
    // and answers Cancel.
    ExportProgress progress;
    QProgressDialog dialog(&window);
    QProgressBar *bar = buildProgressWindow(dialog);
    // The copying thread tells each track it reaches; the window shows the latest one and
    // the bytes at each repaint, so that thousands of small files cost no more painting
    // than a few large ones.
    QString latest;
    QString shown;
    QObject::connect(&progress, &ExportProgress::reached, &dialog,
                     [&](int n, int count, const QString &title) {
                         latest = exportStatusText(n, count, title);
                     });
    // A read of a slow or dying player may take long to return after Cancel: after a while
    // the progress window comes back and says what the run waits for, until it has ended.
    const QString waiting = QStringLiteral("Waiting for the iPod to answer...");
    bool waitingShown = false;
    QTimer waitNote;
    waitNote.setSingleShot(true);
    waitNote.setTimerType(Qt::PreciseTimer);
    waitNote.setInterval(WaitNoteMs);
    QObject::connect(&waitNote, &QTimer::timeout, &dialog, [&] {
        waitingShown = true;
        latest = waiting;
        if (QAbstractButton *cancel = dialog.findChild<QAbstractButton *>(QStringLiteral("BtnCancel")))
            cancel->setEnabled(false);
        dialog.show();
    });
    QObject::connect(&dialog, &QProgressDialog::canceled, &dialog, [&] {
        progress.cancel();
        waitNote.start();
    });
    const auto showProgress = [&] {
        if (waitingShown)
            latest = waiting;
        if (latest != shown) {
            shown = latest;
            dialog.setLabelText(shown);
            status->setText(shown);
        }
        // The bar itself, not the dialog's setValue(), which would process events.
        bar->setValue(barValue(progress.bytes(), total));
    };
    QTimer repaint;
    repaint.setInterval(40);
    QObject::connect(&repaint, &QTimer::timeout, bar, showProgress);

    ExportReport report;
    const std::unique_ptr<QThread> worker(
        QThread::create([&] { report = run.copy(progress); }));
    QEventLoop loop;
    QObject::connect(worker.get(), &QThread::finished, &loop, &QEventLoop::quit);
    window.setExportRunning([&] {
        progress.cancel();
        // A read that the player does not answer is not waited for: the program ends, its
        // copy's temporary file left for the next run to remove (nothing was placed from
        // it, so the record stays true).
        if (!worker->wait(QDeadlineTimer(waitingShown ? 0 : WaitNoteMs)))
            std::_Exit(0);
    });
    // The arrow with the hourglass: busy, yet Cancel can be pressed.
    QApplication::changeOverrideCursor(Qt::BusyCursor);
    worker->start();
    repaint.start();
    bar->setValue(0);
    dialog.show();
    loop.exec();
    worker->wait();
    repaint.stop();
    waitNote.stop();
    showProgress();
    window.setExportRunning({});
    dialog.hide();
    status->setText(QString());
    QApplication::changeOverrideCursor(Qt::WaitCursor);
    window.repaint();

    if (!window.isVisible()) { // the window was closed during the run
        host.setBusy(false);
        return;
    }
    run.tell(report);
}

} // namespace sondrel
