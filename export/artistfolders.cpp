#include "artistfolders.h"

#include "tracktable.h"

#include <algorithm>

namespace sondrel {

namespace {

// Something besides blanks and dots, which a name would lose entirely.
bool hasName(const QString &value)
{
    return std::any_of(value.begin(), value.end(),
                       [](QChar c) { return c != QLatin1Char(' ') && c != QLatin1Char('.'); });
}

} // namespace

QStringList artistAlbumFolders(const TrackTable &table, int k, const NameLimit &limit)
{
    const bool known = table.contains(k);
    QString artist = known ? table.text(k, FieldAlbumArtist) : QString();
    if (!hasName(artist) && known)
        artist = table.text(k, FieldArtist);
    if (!hasName(artist))
        artist = QStringLiteral("Unknown Artist");
    QString album = known ? table.text(k, FieldAlbum) : QString();
    if (!hasName(album))
        album = QStringLiteral("Unknown Album");
    return {safeComponent(artist, limit), safeComponent(album, limit)};
}

} // namespace sondrel
