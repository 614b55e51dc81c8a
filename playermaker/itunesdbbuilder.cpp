#include "itunesdbbuilder.h"

#include "testfiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QtEndian>

#include <algorithm>
#include <utility>

namespace sondrel::test {

namespace {

QByteArray utf16Bytes(const QString &text)
{
    QByteArray bytes;
    bytes.reserve(text.size() * 2);
    for (QChar c : text) {
        bytes.append(char(c.unicode() & 0xFF));
        bytes.append(char(c.unicode() >> 8));
    }
    return bytes;
}

void appendLe32(QByteArray &out, qint32 value)
{
    const auto v = quint32(value);
    const char b[4] = {char(v & 0xFF), char((v >> 8) & 0xFF), char((v >> 16) & 0xFF),
                       char((v >> 24) & 0xFF)};
    out.append(b, 4);
}

// A record header: tag, header length, then zeros up to the header length.
int beginRecord(QByteArray &out, const char *tag, qint32 headerLength)
{
    const int start = int(out.size());
    out.append(tag, 4);
    appendLe32(out, headerLength);
    out.append(QByteArray(qMax(headerLength, 8) - 8, '\0'));
    return start;
}

void appendString(QByteArray &out, const TestString &s)
{
    const int start = beginRecord(out, "mhod", 0x18);
    out.append(QByteArray(40 - 0x18, '\0'));
    putLe32(out, start + 12, s.type);
    putLe32(out, start + 24, s.encoding);
    putLe32(out, start + 28, qint32(s.bytes.size()));
    putLe32(out, start + 32, 1);
    out.append(s.bytes);
    out.append(s.extra);
    putLe32(out, start + 8, qint32(out.size() - start));
}

void appendTrack(QByteArray &out, const TestTrack &t, qint32 id, TestLayout *layout)
{
    const int start = beginRecord(out, "mhit", t.headerLength);
    if (t.headerLength >= 44) {
        putLe32(out, start + 12, qint32(t.strings.size()));
        putLe32(out, start + 16, id);
        putLe32(out, start + 20, 1);
        putLe32(out, start + 36, t.effectiveSize());
        putLe32(out, start + 40, t.duration);
    }
    // The numbers that only longer headers hold.
    const std::pair<int, qint32> optional[] = {
        {44, t.trackNumber}, {52, t.year}, {92, t.discNumber}};
    for (const auto &[offset, value] : optional) {
        if (t.headerLength >= offset + 4)
            putLe32(out, start + offset, value);
    }
    if (t.headerLength >= 32)
        out[start + 31] = char(t.rating);
    const std::pair<int, quint32> history[] = {
        {80, t.playCount}, {88, t.lastPlayed}, {104, t.dateAdded}};
    for (const auto &[offset, value] : history) {
        if (t.headerLength >= offset + 4)
            putLe32(out, start + offset, qint32(value));
    }
    if (t.headerLength >= 244) {
        putLe32(out, start + 156, qint32(t.skipCount));
        putLe32(out, start + 160, qint32(t.lastSkipped));
    }
    if (t.headerLength >= 120) {
        putLe32(out, start + 112, qint32(quint32(t.persistentId)));
        putLe32(out, start + 116, qint32(quint32(t.persistentId >> 32)));
    }
    if (t.headerLength >= 356)
        putLe32(out, start + 352, qint32(t.artworkLink));
    QList<int> children;
    for (const TestString &s : t.strings) {
        children << int(out.size());
        appendString(out, s);
    }
    out.append(t.extra);
    putLe32(out, start + 8, qint32(out.size() - start));
    if (layout) {
        layout->tracks << start;
        layout->children << children;
    }
}

void appendTrackList(QByteArray &out, const TestDatabase &db, TestLayout *layout)
{
    const int start = beginRecord(out, "mhlt", 0x5C);
    putLe32(out, start + 8, db.announcedTracks.value_or(qint32(db.tracks.size())));
    if (layout)
        layout->trackList = start;
    for (int i = 0; i < db.tracks.size(); ++i)
        appendTrack(out, db.tracks[i], db.uniqueIdOf(i), layout);
}

// A playlist as the desktop software writes it: a header of 0x6C bytes, the title and
// the other children, then the items, each with a position child of its own.
void appendPlaylist(QByteArray &out, const TestPlaylist &p, QList<int> *items)
{
    const int start = beginRecord(out, "mhyp", 0x6C);
    putLe32(out, start + 12, qint32(1 + p.children.size()));
    putLe32(out, start + 16, qint32(p.items.size()));
    out[start + 20] = p.master ? 1 : 0;
    appendString(out, TestString::utf16(StringTitle, p.title));
    for (const TestString &child : p.children)
        appendString(out, child);
    qint32 position = 0;
    for (const qint32 id : p.items) {
        const int item = beginRecord(out, "mhip", 0x4C);
        if (items)
            *items << item;
        putLe32(out, item + 12, 1);
        putLe32(out, item + 24, id);
        appendString(out, TestString::raw(100, QByteArray(4, char(position++ & 0x7F))));
        putLe32(out, item + 8, qint32(out.size() - item));
    }
    putLe32(out, start + 8, qint32(out.size() - start));
}

void appendPlaylistList(QByteArray &out, const QList<TestPlaylist> &playlists, TestLayout *layout)
{
    const int start = beginRecord(out, "mhlp", 0x5C);
    putLe32(out, start + 8, qint32(playlists.size()));
    if (layout)
        layout->playlistList = start;
    for (const TestPlaylist &p : playlists) {
        if (layout) {
            layout->playlists << int(out.size());
            layout->items << QList<int>();
        }
        appendPlaylist(out, p, layout ? &layout->items.last() : nullptr);
    }
}

void appendAlbumList(QByteArray &out, const TestDatabase &db)
{
    QList<QString> albums;
    QSet<QString> seen;
    for (const TestTrack &t : db.tracks) {
        for (const TestString &s : t.strings) {
            if (s.type != StringAlbum)
                continue;
            const QString album = QString::fromUtf16(
                reinterpret_cast<const char16_t *>(s.bytes.constData()), s.bytes.size() / 2);
            if (!seen.contains(album)) {
                seen.insert(album);
                albums << album;
            }
        }
    }
    const int start = beginRecord(out, "mhla", 0x5C);
    putLe32(out, start + 8, qint32(albums.size()));
    int albumId = 1;
    for (const QString &album : albums) {
        const int item = beginRecord(out, "mhia", 0x58);
        putLe32(out, item + 12, 1);
        putLe32(out, item + 16, albumId++);
        appendString(out, TestString::utf16(200, album));
        putLe32(out, item + 8, qint32(out.size() - item));
    }
}

} // namespace

TestString TestString::utf16(int type, const QString &text)
{
    return {type, utf16Bytes(text), 1, {}};
}

TestString TestString::utf8(int type, const QString &text)
{
    return {type, text.toUtf8(), 2, {}};
}

TestString TestString::raw(int type, const QByteArray &bytes)
{
    return {type, bytes, 1, {}};
}

TestTrack TestTrack::make(const QString &title, const QString &artist, const QString &album,
                          const QString &genre, const QString &location, const QString &fileType)
{
    TestTrack t;
    t.withString(StringTitle, title)
        .withString(StringArtist, artist)
        .withString(StringAlbum, album)
        .withString(StringGenre, genre)
        .withString(StringLocation, location);
    if (!fileType.isEmpty())
        t.withString(StringFileType, fileType);
    return t;
}

TestTrack &TestTrack::withString(int type, const QString &text)
{
    strings << TestString::utf16(type, text);
    return *this;
}

TestTrack &TestTrack::withSize(qint32 bytes)
{
    size = bytes;
    return *this;
}

TestTrack &TestTrack::withDuration(qint32 milliseconds)
{
    duration = milliseconds;
    return *this;
}

TestTrack &TestTrack::withContents(const QByteArray &bytes)
{
    contents = bytes;
    return *this;
}

QString TestTrack::location() const
{
    QString found;
    for (const TestString &s : strings) {
        if (s.type != StringLocation)
            continue;
        found = s.encoding == 2
                    ? QString::fromUtf8(s.bytes)
                    : QString::fromUtf16(reinterpret_cast<const char16_t *>(s.bytes.constData()),
                                         s.bytes.size() / 2);
    }
    return found;
}

TestPlaylist TestDatabase::masterPlaylist() const
{
    TestPlaylist master;
    master.title = QStringLiteral("Library");
    master.master = true;
    for (int i = 0; i < tracks.size(); ++i)
        master.items << uniqueIdOf(i);
    return master;
}

QByteArray buildDatabase(const TestDatabase &db, TestLayout *layout)
{
    QByteArray out;
    // Roughly what the tracks will take, so that large databases grow once.
    qsizetype estimate = 4096;
    for (const TestTrack &t : db.tracks) {
        estimate += t.headerLength + t.extra.size();
        for (const TestString &s : t.strings)
            estimate += 40 + s.bytes.size() + s.extra.size();
    }
    for (const QList<TestPlaylist> *lists : {&db.playlists, &db.podcastPlaylists})
        for (const TestPlaylist &p : *lists)
            estimate += 0x6C + 40 + p.title.size() * 2 + p.items.size() * (0x4C + 44);
    out.reserve(estimate);

    const int start = beginRecord(out, "mhbd", db.headerLength);
    if (db.headerLength >= 24) {
        putLe32(out, start + 12, 1);
        putLe32(out, start + 16, 0x4F);
        putLe32(out, start + 20, qint32(db.dataSets.size()));
    }
    for (TestDataSet kind : db.dataSets) {
        const int set = beginRecord(out, "mhsd", 0x60);
        switch (kind) {
        case TestDataSet::TrackList:
            putLe32(out, set + 12, 1);
            if (layout)
                layout->trackListDataSet = set;
            appendTrackList(out, db, layout);
            break;
        case TestDataSet::AlbumList:
            putLe32(out, set + 12, 4);
            appendAlbumList(out, db);
            break;
        case TestDataSet::PlaylistList:
            putLe32(out, set + 12, 2);
            if (layout)
                layout->playlistDataSet = set;
            appendPlaylistList(out, db.playlists, layout);
            break;
        case TestDataSet::PodcastList:
            putLe32(out, set + 12, 3);
            appendPlaylistList(out, db.podcastPlaylists, nullptr);
            break;
        }
        putLe32(out, set + 8, qint32(out.size() - set));
    }
    if (db.headerLength >= 12)
        putLe32(out, start + 8, qint32(out.size()));
    return out;
}

QByteArray compressDatabase(const QByteArray &database, int level)
{
    const qint32 header = qFromLittleEndian<qint32>(database.constData() + 4);
    // qCompress puts the length in front of the zlib stream (four bytes, big-endian).
    QByteArray out = database.left(header) + qCompress(database.mid(header), level).mid(4);
    putLe32(out, 8, qint32(out.size()));
    putLe32(out, 12, 2);
    return out;
}

QByteArray buildPlayCounts(const QList<TestPlayCount> &entries, qint32 entryLength,
                           qint32 headerLength)
{
    QByteArray out("mhdp");
    putLe32(out, 4, headerLength);
    putLe32(out, 8, entryLength);
    putLe32(out, 12, qint32(entries.size()));
    out.resize(std::max<qsizetype>(headerLength, 16), '\0');
    for (const TestPlayCount &e : entries) {
        const int at = int(out.size());
        out.append(QByteArray(entryLength, '\0'));
        const std::pair<int, quint32> fields[] = {
            {0, e.plays}, {4, e.lastPlayed}, {12, e.rating}, {20, e.skips}, {24, e.lastSkipped}};
        for (const auto &[offset, value] : fields) {
            if (entryLength >= offset + 4)
                putLe32(out, at + offset, qint32(value));
        }
    }
    return out;
}

void putLe32(QByteArray &bytes, int offset, qint32 value)
{
    if (bytes.size() < offset + 4)
        bytes.resize(offset + 4, '\0');
    const auto v = quint32(value);
    for (int i = 0; i < 4; ++i)
        bytes[offset + i] = char((v >> (8 * i)) & 0xFF);
}

QString locationPath(const QString &root, const QString &location)
{
    QString relative = location;
    relative.replace(QLatin1Char(':'), QLatin1Char('/'));
    while (relative.startsWith(QLatin1Char('/')))
        relative.remove(0, 1);
    return QDir(root).filePath(relative);
}

bool writePlayer(const QString &root, const QByteArray &database, const QList<TestTrack> &tracks)
{
    if (!writeAll(QDir(root).filePath(QStringLiteral("iPod_Control/iTunes/iTunesDB")), database))
        return false;
    for (const TestTrack &t : tracks) {
        const QString location = t.location();
        if (!location.isEmpty() && !writeAll(locationPath(root, location), t.contents))
            return false;
    }
    return true;
}

bool writePlayerFile(const QString &root, const QString &relative, const QByteArray &bytes)
{
    return writeAll(QDir(root).filePath(relative), bytes);
}

bool writePlayer(const QString &root, const TestDatabase &db)
{
    return writePlayer(root, buildDatabase(db), db.tracks);
}

} // namespace sondrel::test
