#include "exportaction.h"

#include "controls.h"
#include "exportjob.h"
#include "exportmessages.h"
#include "filesystem.h"
#include "frmmain.h"
#include "messages.h"
#include "selectionaction.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDeadlineTimer>
#include <QLabel>
#include <QProgressBar>
#include <QProgressDialog>
#include <QPushButton>
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

// One run of the window: its job, the progress window and the status line while the
// copies run, and the messages at the end. It lives from the click to the closing message
// and then goes; the window's event loop runs meanwhile.
class WindowExport : public QObject
{
public:
    WindowExport(FrmMain &window, std::unique_ptr<FileSystem> fs)
        : QObject(&window), m_window(window), m_fs(std::move(fs)), m_host(window), m_job(*m_fs)
    {
    }

    void start()
    {
        const AppState &state = m_window.state();
        ExportRequest request;
        request.playerDrive = state.playerDrive();
        request.exportDirectory = state.exportDirectory();
        request.marked = markedTracksInListOrder(m_window);
        request.fields = state.nameFields();
        request.options = state.exportOptions();

        // The copying thread tells each track it reaches; the window shows the latest one
        // and the bytes at each repaint, so that thousands of small files cost no more
        // painting than a few large ones.
        connect(&m_job.progress(), &ExportProgress::reached, this,
                [this](int n, int count, const QString &title) {
                    m_latest = exportStatusText(n, count, title);
                });
        connect(&m_job, &ExportJob::checked, this, &WindowExport::checked);
        connect(&m_job, &ExportJob::finished, this, &WindowExport::finished);
        m_waitNote.setSingleShot(true);
        m_waitNote.setTimerType(Qt::PreciseTimer);
        m_waitNote.setInterval(WaitNoteMs);
        connect(&m_waitNote, &QTimer::timeout, this, &WindowExport::showWaiting);
        m_repaint.setInterval(40);
        connect(&m_repaint, &QTimer::timeout, this, &WindowExport::showProgress);

        // The checks and the plan (the record, the folders, the files to compare) run on
        // the job's thread while this one keeps the window painted; the buttons that change
        // what is exported are locked meanwhile, and closing the window waits for the plan,
        // then stops the copies.
        m_window.setExportRunning([this] { stop(); });
        QApplication::setOverrideCursor(Qt::BusyCursor);
        m_job.start(m_window.state().tracks(), request);
    }

private:
    void stop()
    {
        m_job.cancel();
        if (m_planning) {
            m_job.wait();
            return;
        }
        // A read that the player does not answer is not waited for: the program ends, its
        // copy's temporary file left for the next run to remove (nothing was placed from
        // it, so the record stays true).
        if (!m_job.wait(QDeadlineTimer(m_waitingShown ? 0 : WaitNoteMs)))
            std::_Exit(0);
    }

    void checked()
    {
        m_planning = false;
        QApplication::restoreOverrideCursor();
        m_telling = true;
        m_job.tellChecks(m_host);
        m_telling = false;
        if (m_job.outcome() == ExportRun::Outcome::Ready) {
            if (!m_window.isVisible()) // the window was closed while the run was planned
                m_job.cancel();
            else
                showProgressWindow();
        }
        if (m_finishedWhileTelling)
            finished();
    }

    void showProgressWindow()
    {
        m_total = m_job.bytesToCopy();
        QLabel *status = m_window.LblStatusExport;
        status->setText(QString());
        status->show();
        m_dialog = new QProgressDialog(&m_window);
        m_bar = buildProgressWindow(*m_dialog);
        connect(m_dialog, &QProgressDialog::canceled, this, [this] {
            m_job.cancel();
            m_waitNote.start();
        });
        // The arrow with the hourglass: busy, yet Cancel can be pressed.
        QApplication::changeOverrideCursor(Qt::BusyCursor);
        m_repaint.start();
        m_bar->setValue(0);
        m_dialog->show();
    }

    // A read of a slow or dying player may take long to return after Cancel: after a while
    // the progress window comes back and says what the run waits for, until it has ended.
    void showWaiting()
    {
        m_waitingShown = true;
        m_latest = waitingText();
        if (QAbstractButton *cancel =
                m_dialog->findChild<QAbstractButton *>(QStringLiteral("BtnCancel")))
            cancel->setEnabled(false);
        m_dialog->show();
    }

    static QString waitingText() { return QStringLiteral("Waiting for the iPod to answer..."); }

    void showProgress()
    {
        if (m_waitingShown)
            m_latest = waitingText();
        if (m_latest != m_shown) {
            m_shown = m_latest;
            m_dialog->setLabelText(m_shown);
            m_window.LblStatusExport->setText(m_shown);
        }
        // The bar itself, not the dialog's setValue(), which would process events.
        m_bar->setValue(barValue(m_job.progress().bytes(), m_total));
    }

    void finished()
    {
        // The checks' messages are still being shown: the end waits for them.
        if (m_telling) {
            m_finishedWhileTelling = true;
            return;
        }
        m_finishedWhileTelling = false;
        const bool copied = m_dialog != nullptr;
        m_repaint.stop();
        m_waitNote.stop();
        if (copied)
            showProgress();
        m_window.setExportRunning({});
        if (copied) {
            m_dialog->hide();
            m_window.LblStatusExport->setText(QString());
            QApplication::changeOverrideCursor(Qt::WaitCursor);
            m_window.repaint();
        }
        if (!m_window.isVisible()) // the window was closed during the run
            m_host.setBusy(false);
        else if (m_job.outcome() == ExportRun::Outcome::Ready)
            m_job.tell(m_host);
        delete m_dialog;
        m_dialog = nullptr;
        deleteLater();
        Q_EMIT m_window.exportEnded();
    }

    FrmMain &m_window;
    std::unique_ptr<FileSystem> m_fs;
    WindowExportHost m_host;
    ExportJob m_job;
    QProgressDialog *m_dialog = nullptr;
    QProgressBar *m_bar = nullptr;
    QTimer m_repaint;
    QTimer m_waitNote;
    QString m_latest;
    QString m_shown;
    std::uint64_t m_total = 0;
    bool m_planning = true;
    bool m_waitingShown = false;
    bool m_telling = false;
    bool m_finishedWhileTelling = false;
};

} // namespace

void exportSelectedFiles(FrmMain &window)
{
    std::unique_ptr<FileSystem> fs = window.services().fileSystem();
    if (!fs)
        return;
    (new WindowExport(window, std::move(fs)))->start();
}

} // namespace sondrel
