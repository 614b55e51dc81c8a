#include "exportlayout.h"

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

QString oneLine(QString text)
{
    for (QChar &c : text) {
        if (c.unicode() < 32)
            c = QLatin1Char(' ');
    }
    return text;
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

QByteArray playlistText(const std::vector<PlaylistLine> &lines)
{
    QByteArray text("#EXTM3U\n");
    for (const PlaylistLine &line : lines) {
        const int seconds = line.duration > 0 ? line.duration / 1000 : -1;
        const QString label =
            line.artist.isEmpty() ? line.title : line.artist + QStringLiteral(" - ") + line.title;
        text += "#EXTINF:" + QByteArray::number(seconds) + ',' + oneLine(label).toUtf8() + '\n';
        // A line that starts with "#" is a comment to every player ("#1 Crush.mp3"): such
        // a path is written as "./#1 Crush.mp3", the same file.
        if (line.path.startsWith(QLatin1Char('#')))
            text += "./";
        text += line.path.toUtf8() + '\n';
    }
    return text;
}

} // namespace sondrel
