#include "soundfilecheck.h"

#include "durationtext.h"
#include "frmmain.h"
#include "messages.h"
#include "numberformat.h"
#include "recordwalk.h"
#include "staging.h"
#include "trackgrid.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>

#include <memory>
#include <vector>

namespace sondrel {

namespace {

constexpr int GridFirstColumn = 2;
constexpr int GridLastColumn = 15;
// Where the current cell is left after the fill: on "File Type", the last column that
// shows without scrolling.
constexpr int GridCurrentColumn = 10;

// Removes a work file if it is there; a failure here is not reported again.
void removeIfPresent(const FileSystem &fs, const std::string &path)
{
    try {
        if (fs.fileExists(path))
            fs.deleteFile(path);
    } catch (const PlatformError &) {
    }
}

void showProgress(QLabel *label, const QString &caption)
{
    label->setText(caption);
    label->repaint();
}

// Writes one row per track (columns 2 to 15) and leaves the current cell on row n,
// column 10.
void fillGrid(FrmMain &window, int n)
{
    TrackGrid *grid = window.MSFlexGridSoundList;
    grid->setRows(n + 1);
    showProgress(window.LblStatusiPod, QStringLiteral(" Updating grid..."));
    TrackGrid::Batch batch(*grid);
    const TrackTable &table = window.trackTable();
    for (int j = 1; j <= n; ++j) {
        const std::array<QString, GridCells> cells = gridCells(table, j);
        for (int c = GridFirstColumn; c <= GridLastColumn; ++c)
            grid->setTextMatrix(j, c, cells[std::size_t(c - GridFirstColumn)]);
    }
    if (n > 0) {
        grid->setCol(GridCurrentColumn);
        grid->setRow(n);
    }
}

} // namespace

QString durationCell(std::int32_t milliseconds)
{
    if (milliseconds < 0)
        return QStringLiteral("N.A.");
    return shownSecToHms(milliseconds / 1000.0);
}

QString sizeCell(std::uint64_t bytes)
{
    return standardNumber(double(bytes) / 1024);
}

QString numberCell(std::uint32_t number)
{
    // Track, disc and year numbers repeat from row to row: each small one is made once
    // and its text shared by every cell that shows it.
    static std::vector<QString> shared(4096);
    if (number == 0)
        return QString();
    if (number >= shared.size())
        return QString::number(number);
    QString &text = shared[number];
    if (text.isNull())
        text = QString::number(number);
    return text;
}

std::array<QString, GridCells> gridCells(const TrackTable &table, int j)
{
    return {table.text(j, FieldId),
            table.text(j, FieldTitle),
            table.text(j, FieldArtist),
            table.text(j, FieldAlbum),
            table.text(j, FieldGenre),
            table.text(j, FieldComment),
            durationCell(table.track(j).duration),
            sizeCell(table.track(j).size),
            table.text(j, FieldFileType),
            numberCell(table.track(j).trackNumber),
            numberCell(table.track(j).discNumber),
            numberCell(table.track(j).year),
            table.text(j, FieldAlbumArtist),
            table.text(j, FieldComposer)};
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
    WorkFiles files;
    bool staging = false; // from the copy on, work files may exist
    try {
        fs = window.services().fileSystem();
        if (!fs)
            return;
        files = workFiles(window.state().DfltDrive(), window.state().DfltDir(), fs->separator());
        const PlayerDatabase found =
            findPlayerDatabase(*fs, window.state().DfltDrive().toStdString());
        files.database = found.plain;
        files.compressed = found.compressed;
        if (!found.found()) {
            showMessage(&window,
                        QStringLiteral("This is not the iPod drive. Select the right one."));
            window.ResetTrackList();
            return;
        }
        window.LblStatusiPod->show();
        window.repaint();

        int n = 0;
        {
            staging = true;
            const StagedDatabase staged = stageDatabase(*fs, files);
            if (!staged.readable()) {
                // Nothing was staged; files of those names from an earlier run go as well.
                showMessage(&window, QStringLiteral("Sondrel couldn't read the iPod database..."));
                window.ResetTrackList();
                removeIfPresent(*fs, files.hexFile);
                removeIfPresent(*fs, files.stagedCopy);
                return;
            }
            const std::span<const std::uint8_t> database = staged.bytes();
            ProgressPacer pacer;
            const auto progress = [&](int j, int count) {
                if (pacer.due(j, count, clock.elapsed()))
                    showProgress(
                        window.LblStatusiPod,
                        QStringLiteral(" Updating files information (%1 of %2)").arg(j).arg(count));
            };
            const WalkOutcome outcome = walkDatabase(database, window.trackTable(), progress);
            if (!outcome.complete()) {
                showMessage(&window, QStringLiteral("Sondrel couldn't read the iPod database..."));
                window.ResetTrackList();
                fs->deleteFile(files.hexFile);
                fs->deleteFile(files.stagedCopy);
                return;
            }
            n = outcome.tracks;
            // Damaged playlists are dropped there; the tracks stay.
            readPlaylists(database, window.trackTable());
        }

        fillGrid(window, n);
        window.LblStatusiPod->setText(QString::number(n) + QStringLiteral(" files in your iPod"));
        fs->deleteFile(files.hexFile);
        fs->deleteFile(files.stagedCopy);
        staging = false;
        hourglass.restore();

        const double seconds = double(clock.nsecsElapsed()) / 1e9;
        showMessage(
            &window,
            QStringLiteral("Updated in %1 seconds").arg(generalNumber(roundHalfEven(seconds, 2))));
        fs.reset();
        window.BtnSelSound->setEnabled(true);
        window.BtnExport->setEnabled(true);
        window.MSFlexGridSoundList->SetFocus();
    } catch (const PlatformError &error) {
        showRunTimeError(&window, error);
        if (fs && staging) {
            removeIfPresent(*fs, files.hexFile);
            removeIfPresent(*fs, files.stagedCopy);
        }
        window.ResetTrackList();
        hourglass.restore();
    }
}

} // namespace sondrel
