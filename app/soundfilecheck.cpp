#include "soundfilecheck.h"

#include "controls.h"
#include "databasereader.h"
#include "findaction.h"
#include "frmmain.h"
#include "messages.h"
#include "numberformat.h"
#include "trackcolumns.h"
#include "trackgrid.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLabel>
#include <QProgressBar>
#include <QProgressDialog>
#include <QPushButton>
#include <QSemaphore>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <memory>
#include <optional>
#include <vector>

namespace sondrel {

namespace {

// Where the current cell is left after the fill: on "File Type", the last column that
// shows without scrolling.
constexpr int GridCurrentColumn = ColumnFileType;

void showProgress(QLabel *label, const QString &caption)
{
    label->setText(caption);
    label->repaint();
}

} // namespace

int TrackTableCells::rows() const
{
    return m_table.count();
}

QString TrackTableCells::text(int row, int col) const
{
    return trackColumnText(m_table, row + 1, col);
}

bool TrackTableCells::sortKey(int row, int col, GridSortKey &key) const
{
    const Track &track = m_table.track(row + 1);
    const auto number = [&](std::uint32_t n) {
        key = n ? GridSortKey::of(double(n)) : GridSortKey::empty();
        return true;
    };
    switch (col) {
    case ColumnId:
        return number(std::uint32_t(track.id));
    case ColumnTrackNumber:
        return number(track.trackNumber);
    case ColumnDiscNumber:
        return number(track.discNumber);
    case ColumnYear:
        return number(track.year);
    case ColumnRating:
        return number(track.rating);
    case ColumnPlays:
        return number(track.playCount);
    case ColumnSkips:
        return number(track.skipCount);
    case ColumnLastPlayed:
        return number(track.lastPlayed);
    case ColumnDateAdded:
        return number(track.dateAdded);
    case ColumnCover:
        return number(track.coverImage ? 1 : 0);
    default:
        return false;
    }
}

void fillTrackGrid(FrmMain &window)
{
    TrackGrid *grid = window.MSFlexGridSoundList;
    grid->setSource(std::make_shared<TrackTableCells>(window.trackTable()));
    if (const int n = window.trackTable().count(); n > 0) {
        grid->setCol(GridCurrentColumn);
        grid->setRow(n);
    }
}

bool ProgressPacer::due(int j, int n, qint64 nowMs)
{
    if (j != n && m_shown && nowMs - m_last < m_interval)
        return false;
    m_shown = true;
    m_last = nowMs;
    return true;
}

namespace {

// Thrown from the walk's progress on the reading thread when the user cancels the check.
struct CheckCancelled
{
};

// How long the check runs before its progress window with "Cancel" comes up.
constexpr int CheckWindowMs = 1000;

} // namespace

void checkForSoundFiles(FrmMain &window)
{
    QElapsedTimer clock; // monotonic: the time of day would wrap at midnight
    clock.start();
    WaitCursor hourglass;
    window.ResetTrackList();
    window.LblStatusiPod->setText(QStringLiteral(" Updating..."));

    std::unique_ptr<FileSystem> fs;
    std::unique_ptr<DatabaseReader> reader; // after fs, which it uses: it goes first
    try {
        fs = window.services().fileSystem();
        if (!fs)
            return;
        reader = std::make_unique<DatabaseReader>(*fs, window.state().playerDrive().toStdString(),
                                                  window.state().exportDirectory().toStdString());

        // The database is read on a thread of its own, while this one keeps the window
        // painted, shows the progress and answers Cancel; the window's table is given back
        // once the reading has ended. The reading takes the window's table along, so that the
        // walk empties it and reuses its memory: freshly allocated, 40,000 tracks' worth of
        // pages would first be zeroed by the kernel at every check.
        TrackTable table = std::move(window.trackTable());
        window.trackTable() = TrackTable{};
        std::atomic<bool> cancelled{false};
        ReadOutcome outcome;
        std::optional<PlatformError> failure;
        bool stopped = false;

        QProgressDialog dialog(&window);
        dialog.setObjectName(QStringLiteral("FrmCheckProgress"));
        dialog.setWindowTitle(QCoreApplication::applicationName());
        dialog.setWindowFlags(classicWindowFlags(WindowKind::Dialog));
        dialog.setWindowModality(Qt::WindowModal);
        dialog.setFont(tahoma());
        dialog.setLabel(makeControl<QLabel>(&dialog, "LblCheckProgress"));
        dialog.setBar(makeControl<QProgressBar>(&dialog, "BarCheckProgress"));
        dialog.setCancelButton(makeButton(&dialog, "BtnCancel", QStringLiteral("Cancel")));
        dialog.setRange(0, 0);
        dialog.setAutoReset(false);
        dialog.setAutoClose(false);
        dialog.setMinimumWidth(twips(6000));
        dialog.hide();
        QObject::connect(&dialog, &QProgressDialog::canceled, &dialog,
                         [&] { cancelled.store(true); });

        // The reading thread decides which captions are due (the first, then at most one per
        // interval, and the last); each is painted on this thread as it comes.
        QLabel *status = window.LblStatusiPod;
        const auto onWindow = [&](std::function<void()> show) {
            QMetaObject::invokeMethod(status, std::move(show), Qt::QueuedConnection);
        };
        ProgressPacer pacer;
        const std::unique_ptr<QThread> reading(QThread::create([&] {
            try {
                outcome = readPlayer(
                    *reader, table,
                    [&](int j, int n) {
                        if (cancelled.load(std::memory_order_relaxed))
                            throw CheckCancelled{};
                        if (pacer.due(j, n, clock.elapsed())) {
                            onWindow([&, j, n] {
                                showProgress(status, QStringLiteral(" Updating files information "
                                                                    "(%1 of %2)")
                                                         .arg(j)
                                                         .arg(n));
                                if (dialog.isVisible() && !cancelled.load())
                                    dialog.setLabelText(status->text());
                            });
                        }
                    },
                    [&] { // the status line is painted before the reading starts
                        const auto painted = std::make_shared<QSemaphore>();
                        onWindow([&, painted] {
                            status->show();
                            window.repaint();
                            painted->release();
                        });
                        // Not waited for once cancelled: closing the window waits for this
                        // thread.
                        while (!painted->tryAcquire(1, 20)) {
                            if (cancelled.load())
                                throw CheckCancelled{};
                        }
                    });
            } catch (const PlatformError &error) {
                failure = error;
            } catch (const CheckCancelled &) {
                stopped = true;
            }
        }));
        QTimer later;
        later.setSingleShot(true);
        later.setTimerType(Qt::PreciseTimer);
        later.setInterval(CheckWindowMs);
        QObject::connect(&later, &QTimer::timeout, &dialog, [&] {
            dialog.setLabelText(status->text());
            dialog.show();
        });

        QEventLoop loop;
        QObject::connect(reading.get(), &QThread::finished, &loop, &QEventLoop::quit);
        window.setExportRunning([&] {
            cancelled.store(true);
            reading->wait();
        });
        reading->start();
        later.start();
        loop.exec();
        reading->wait();
        // The captions still on their way are painted now, before the next ones.
        QCoreApplication::sendPostedEvents(status, QEvent::MetaCall);
        later.stop();
        dialog.hide();
        window.setExportRunning({});

        if (stopped || !window.isVisible()) { // cancelled, or the window closed meanwhile
            window.ResetTrackList();
            reader->discardWorkFiles();
            hourglass.restore();
            return;
        }
        if (failure)
            throw *failure;
        if (outcome.status == ReadStatus::NoDatabase) {
            showMessage(&window,
                        QStringLiteral("This is not the iPod drive. Select the right one."));
            window.ResetTrackList();
            return;
        }
        if (!outcome.read()) {
            showMessage(&window, QStringLiteral("Sondrel couldn't read the iPod database..."));
            window.ResetTrackList();
            reader->removeWorkFiles();
            return;
        }

        showProgress(window.LblStatusiPod, QStringLiteral(" Updating grid..."));
        window.trackTable() = std::move(table);
        fillTrackGrid(window);
        showTrackListChoices(window);
        window.LblStatusiPod->setText(QString::number(outcome.tracks()) +
                                      QStringLiteral(" files in your iPod"));
        reader->removeWorkFiles();
        hourglass.restore();

        const double seconds = double(clock.nsecsElapsed()) / 1e9;
        showMessage(
            &window,
            QStringLiteral("Updated in %1 seconds").arg(generalNumber(roundHalfEven(seconds, 2))));
        reader.reset();
        fs.reset();
        for (QPushButton *button :
             {window.BtnSelSound, window.BtnMarkShown, window.BtnUnmarkShown, window.BtnExport})
            button->setEnabled(true);
        window.MSFlexGridSoundList->SetFocus();
    } catch (const PlatformError &error) {
        showRunTimeError(&window, error);
        if (reader)
            reader->discardWorkFiles();
        window.ResetTrackList();
        hourglass.restore();
    }
}

} // namespace sondrel
