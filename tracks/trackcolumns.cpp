#include "trackcolumns.h"

#include "historytext.h"
#include "numberformat.h"
#include "tracktable.h"

#include <iterator>
#include <vector>

namespace sondrel {

namespace {

const char *const Captions[] = {"",           "X",      "ID",      "Title",    "Artist",
                                "Album",      "Genre",  "Comment", "Duration", "Size (Kb)",
                                "File Type",  "Track",  "Disc",    "Year",     "Album Artist",
                                "Composer",   "Rating", "Plays",   "Skips",    "Last Played",
                                "Date Added", "Cover"};
static_assert(std::size(Captions) == TrackColumnEnd);

// A track's ID in plain decimal. Made each time a row's ID is read (every row of a marked
// range), so without the locale machinery of QString::number.
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

} // namespace

QString trackColumnCaption(int col)
{
    return col >= 0 && col < TrackColumnEnd ? QString::fromLatin1(Captions[col]) : QString();
}

QString durationCell(std::int32_t milliseconds)
{
    if (milliseconds < 0)
        return QStringLiteral("N.A.");
    // hoursMinutesSeconds's text, written out by hand: it is made for every row of a listing.
    const std::int32_t seconds = milliseconds / 1000;
    const std::int32_t hours = seconds / 3600;
    char16_t text[16];
    char16_t *end = text + std::size(text);
    char16_t *first = end;
    const auto twoDigits = [&](std::int32_t n) {
        *--first = char16_t(u'0' + n % 10);
        *--first = char16_t(u'0' + n / 10);
    };
    twoDigits(seconds % 60);
    *--first = u':';
    twoDigits(seconds / 60 % 60);
    *--first = u':';
    if (hours < 100) {
        twoDigits(hours);
    } else {
        for (std::int32_t h = hours; h > 0; h /= 10)
            *--first = char16_t(u'0' + h % 10);
    }
    return QString(reinterpret_cast<const QChar *>(first), end - first);
}

QString sizeCell(std::uint64_t bytes)
{
    return standardNumber(double(bytes) / 1024);
}

QString numberCell(std::uint32_t number)
{
    // Track, disc and year numbers repeat from row to row: each small one is made once
    // and its text shared by every cell that shows it.
    static thread_local std::vector<QString> shared(4096);
    if (number == 0)
        return QString();
    if (number >= shared.size())
        return QString::number(number);
    QString &text = shared[number];
    if (text.isNull())
        text = QString::number(number);
    return text;
}

QString trackColumnText(const TrackTable &table, int k, int col)
{
    const Track &track = table.track(k);
    switch (col) {
    case ColumnId:
        return idCell(track.id);
    case ColumnTitle:
        return table.text(k, FieldTitle);
    case ColumnArtist:
        return table.text(k, FieldArtist);
    case ColumnAlbum:
        return table.text(k, FieldAlbum);
    case ColumnGenre:
        return table.text(k, FieldGenre);
    case ColumnComment:
        return table.text(k, FieldComment);
    case ColumnDuration:
        return durationCell(track.duration);
    case ColumnSize:
        return sizeCell(track.size);
    case ColumnFileType:
        return table.text(k, FieldFileType);
    case ColumnTrackNumber:
        return numberCell(track.trackNumber);
    case ColumnDiscNumber:
        return numberCell(track.discNumber);
    case ColumnYear:
        return numberCell(track.year);
    case ColumnAlbumArtist:
        return table.text(k, FieldAlbumArtist);
    case ColumnComposer:
        return table.text(k, FieldComposer);
    case ColumnRating:
        return ratingStars(track.rating);
    case ColumnPlays:
        return numberCell(track.playCount);
    case ColumnSkips:
        return numberCell(track.skipCount);
    case ColumnLastPlayed:
        return macTimeText(track.lastPlayed);
    case ColumnDateAdded:
        return macTimeText(track.dateAdded);
    case ColumnCover:
        return track.coverImage ? QStringLiteral("yes") : QString();
    default:
        return QString();
    }
}

} // namespace sondrel
