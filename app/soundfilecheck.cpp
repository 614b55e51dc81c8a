#include "soundfilecheck.h"

#include "databasereader.h"
#include "durationtext.h"
#include "findaction.h"
#include "frmmain.h"
#include "historytext.h"
#include "messages.h"
#include "numberformat.h"
#include "playcounts.h"
#include "trackgrid.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>

#include <memory>
#include <vector>

namespace sondrel {

namespace {

// The grid's columns for the track table's fields.
enum GridColumn {
    ColumnId = 2,
    ColumnTitle,
    ColumnArtist,
    ColumnAlbum,
    ColumnGenre,
    ColumnComment,
    ColumnDuration,
    ColumnSize,
    ColumnFileType,
    ColumnTrackNumber,
    ColumnDiscNumber,
    ColumnYear,
    ColumnAlbumArtist,
    ColumnComposer,
    ColumnRating,
    ColumnPlays,
    ColumnSkips,
    ColumnLastPlayed,
    ColumnDateAdded,
};
// Where the current cell is left after the fill: on "File Type", the last column that
// shows without scrolling.
constexpr int GridCurrentColumn = ColumnFileType;

// A track's ID as the grid shows it, in plain decimal. Made each time a row's ID is read
// (every row of a marked range), so without the locale machinery of QString::number.
QString idCell(int id)
{
    if (id <= 0)
        return id == 0 ? QString() : QString::number(id);
    char16_t digits[10];
    char16_t *const end = digits + std::size(digits);
    char16_t *first = end;
    for (unsigned n = unsigned(id); n != 0; n /= 10)
        *--first = char16_t(u'0' + n % 10);
    return QString(reinterpret_cast<const QChar *>(first), end - first);
}

void showProgress(QLabel *label, const QString &caption)
{
    label->setText(caption);
    label->repaint();
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

int TrackTableCells::rows() const
{
    return m_table.count();
}

QString TrackTableCells::text(int row, int col) const
{
    const int j = row + 1;
    const Track &track = m_table.track(j);
    switch (col) {
    case ColumnId: return idCell(track.id);
    case ColumnTitle: return m_table.text(j, FieldTitle);
    case ColumnArtist: return m_table.text(j, FieldArtist);
    case ColumnAlbum: return m_table.text(j, FieldAlbum);
    case ColumnGenre: return m_table.text(j, FieldGenre);
    case ColumnComment: return m_table.text(j, FieldComment);
    case ColumnDuration: return durationCell(track.duration);
    case ColumnSize: return sizeCell(track.size);
    case ColumnFileType: return m_table.text(j, FieldFileType);
    case ColumnTrackNumber: return numberCell(track.trackNumber);
    case ColumnDiscNumber: return numberCell(track.discNumber);
    case ColumnYear: return numberCell(track.year);
    case ColumnAlbumArtist: return m_table.text(j, FieldAlbumArtist);
    case ColumnComposer: return m_table.text(j, FieldComposer);
    case ColumnRating: return ratingStars(track.rating);
    case ColumnPlays: return numberCell(track.playCount);
    case ColumnSkips: return numberCell(track.skipCount);
    case ColumnLastPlayed: return macTimeText(track.lastPlayed);
    case ColumnDateAdded: return macTimeText(track.dateAdded);
    default: return QString();
    }
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
        if (!reader->find()) {
            showMessage(&window,
                        QStringLiteral("This is not the iPod drive. Select the right one."));
            window.ResetTrackList();
            return;
        }
        window.LblStatusiPod->show();
        window.repaint();

        ProgressPacer pacer;
        const auto progress = [&](int j, int count) {
            if (pacer.due(j, count, clock.elapsed()))
                showProgress(window.LblStatusiPod,
                             QStringLiteral(" Updating files information (%1 of %2)").arg(j).arg(count));
        };
        const ReadOutcome outcome = reader->read(window.trackTable(), progress);
        mergePlayerPlayCounts(*fs, window.state().DfltDrive().toStdString(), outcome,
                              window.trackTable());
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
