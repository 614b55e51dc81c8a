#include "playlisttext.h"

namespace sondrel {

QString oneLine(QString text)
{
    for (QChar &c : text) {
        if (c.unicode() < 32)
            c = QLatin1Char(' ');
    }
    return text;
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
