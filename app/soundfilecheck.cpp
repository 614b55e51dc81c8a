#include "soundfilecheck.h"

#include "databasereader.h"
#include "findaction.h"
#include "frmmain.h"
#include "messages.h"
#include "numberformat.h"
#include "trackcolumns.h"
#include "trackgrid.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>

#include <memory>
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
    case ColumnId: return number(std::uint32_t(track.id));
    case ColumnTrackNumber: return number(track.trackNumber);
    case ColumnDiscNumber: return number(track.discNumber);
    case ColumnYear: return number(track.year);
    case ColumnRating: return number(track.rating);
    case ColumnPlays: return number(track.playCount);
    case ColumnSkips: return number(track.skipCount);
    case ColumnLastPlayed: return number(track.lastPlayed);
    case ColumnDateAdded: return number(track.dateAdded);
    case ColumnCover: return number(track.coverImage ? 1 : 0);
    default: return false;
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
        reader = std::make_unique<DatabaseReader>(*fs, window.state().DfltDrive().toStdString(),
                                                  window.state().DfltDir().toStdString());
        ProgressPacer pacer;
        const auto found = [&] { // the status line comes up before the reading
            window.LblStatusiPod->show();
            window.repaint();
        };
        const auto progress = [&](int j, int count) {
            if (pacer.due(j, count, clock.elapsed()))
                showProgress(window.LblStatusiPod,
                             QStringLiteral(" Updating files information (%1 of %2)").arg(j).arg(count));
        };
        const ReadOutcome outcome = readPlayer(*reader, window.trackTable(), progress, found);
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
        for (QPushButton *button : {window.BtnSelSound, window.BtnMarkShown,
                                    window.BtnUnmarkShown, window.BtnExport})
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
