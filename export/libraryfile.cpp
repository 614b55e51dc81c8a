#include "libraryfile.h"

#include "exportplan.h"
#include "exportrecord.h"
#include "historytext.h"

#include <QCryptographicHash>
#include <QHash>

#include <algorithm>
#include <cstring>
#include <string>

namespace sondrel {

namespace {

// The library file, built as bytes into one buffer: a writer of XML elements, or a
// QByteArray appended to piece by piece, would cost several times as much for 40,000
// tracks. Indented by tabs, as the desktop software writes it.
class Plist
{
public:
    explicit Plist(std::size_t reserve)
    {
        m_out.resize(qsizetype(reserve));
        m_at = m_out.data();
        m_end = m_at + m_out.size();
    }

    // The bytes, without copying them: a copy of 40 MB costs as much as making them.
    QByteArray take()
    {
        m_out.resize(m_at - m_out.constData());
        m_at = m_end = nullptr;
        return std::move(m_out);
    }

    void raw(const char *text, std::size_t n)
    {
        room(n);
        std::memcpy(m_at, text, n);
        m_at += n;
    }
    // A literal: its length known here, the copy is made inline.
    template <std::size_t N> void raw(const char (&text)[N])
    {
        room(N - 1);
        std::memcpy(m_at, text, N - 1);
        m_at += N - 1;
    }
    void raw(const QByteArray &text) { raw(text.constData(), std::size_t(text.size())); }
    void put(char c)
    {
        room(1);
        *m_at++ = c;
    }

    // `text` as UTF-8, escaped, the characters XML forbids dropped: controls but tab, line
    // feed and carriage return, unpaired surrogates, U+FFFE and U+FFFF.
    void text(const QString &text)
    {
        const char16_t *p = reinterpret_cast<const char16_t *>(text.utf16());
        const qsizetype n = text.size();
        room(std::size_t(n) * 5); // "&amp;" is the longest a unit becomes
        char *out = m_at;
        for (qsizetype i = 0; i < n; ++i) {
            const char16_t u = p[i];
            if (u < 0x80) {
                if (u == u'&') {
                    std::memcpy(out, "&amp;", 5);
                    out += 5;
                } else if (u == u'<') {
                    std::memcpy(out, "&lt;", 4);
                    out += 4;
                } else if (u == u'>') {
                    std::memcpy(out, "&gt;", 4);
                    out += 4;
                } else if (u >= 0x20 || u == 0x9 || u == 0xA || u == 0xD) {
                    *out++ = char(u);
                }
            } else if (u < 0x800) {
                *out++ = char(0xC0 | u >> 6);
                *out++ = char(0x80 | (u & 0x3F));
            } else if (u >= 0xD800 && u <= 0xDFFF) {
                if (u <= 0xDBFF && i + 1 < n && p[i + 1] >= 0xDC00 && p[i + 1] <= 0xDFFF) {
                    const char32_t c = 0x10000 + (char32_t(u - 0xD800) << 10) + (p[++i] - 0xDC00);
                    *out++ = char(0xF0 | c >> 18);
                    *out++ = char(0x80 | (c >> 12 & 0x3F));
                    *out++ = char(0x80 | (c >> 6 & 0x3F));
                    *out++ = char(0x80 | (c & 0x3F));
                }
            } else if (u < 0xFFFE) {
                *out++ = char(0xE0 | u >> 12);
                *out++ = char(0x80 | (u >> 6 & 0x3F));
                *out++ = char(0x80 | (u & 0x3F));
            }
        }
        m_at = out;
    }

    void number(std::uint64_t n)
    {
        char digits[24];
        char *end = digits + sizeof digits;
        char *first = end;
        do {
            *--first = char('0' + n % 10);
            n /= 10;
        } while (n != 0);
        raw(first, std::size_t(end - first));
    }

    template <std::size_t N> void key(const char (&name)[N])
    {
        indent();
        raw("<key>");
        raw(name);
        raw("</key>");
    }

    template <std::size_t N> void string(const char (&name)[N], const QString &value)
    {
        if (value.isEmpty())
            return;
        key(name);
        raw("<string>");
        text(value);
        raw("</string>\n");
    }
    template <std::size_t N> void ascii(const char (&name)[N], const QByteArray &value)
    {
        key(name);
        raw("<string>");
        raw(value);
        raw("</string>\n");
    }
    template <std::size_t N> void integer(const char (&name)[N], std::uint64_t value)
    {
        if (value == 0)
            return;
        key(name);
        raw("<integer>");
        number(value);
        raw("</integer>\n");
    }
    template <std::size_t N> void date(const char (&name)[N], std::uint32_t macTime)
    {
        if (macTime == 0)
            return;
        key(name);
        raw("<date>");
        char text[20];
        writeMacTimeIsoUtc(macTime, text);
        raw(text, sizeof text);
        raw("</date>\n");
    }
    template <std::size_t N> void flag(const char (&name)[N], bool value)
    {
        key(name);
        if (value)
            raw("<true/>\n");
        else
            raw("<false/>\n");
    }
    // "<key>n</key>" for a dictionary keyed by numbers.
    void numberKey(std::uint64_t n)
    {
        indent();
        raw("<key>");
        number(n);
        raw("</key>\n");
    }

    template <std::size_t N> void open(const char (&tag)[N])
    {
        indent();
        raw(tag);
        put('\n');
        ++m_depth;
    }
    template <std::size_t N> void close(const char (&tag)[N])
    {
        --m_depth;
        indent();
        raw(tag);
        put('\n');
    }

private:
    void indent()
    {
        room(std::size_t(m_depth));
        std::memset(m_at, '\t', std::size_t(m_depth));
        m_at += m_depth;
    }

    // Room for `n` more bytes, the buffer doubled when it has not.
    void room(std::size_t n)
    {
        if (std::size_t(m_end - m_at) >= n)
            return;
        const qsizetype used = m_at - m_out.constData();
        m_out.resize(std::max(2 * m_out.size(), used + qsizetype(n)));
        m_at = m_out.data() + used;
        m_end = m_out.data() + m_out.size();
    }

    QByteArray m_out;
    char *m_at = nullptr;
    char *m_end = nullptr;
    int m_depth = 0; // tabs before a line
};

QByteArray hex16(std::uint64_t id)
{
    static const char digits[] = "0123456789ABCDEF";
    QByteArray text(16, '0');
    for (int i = 15; i >= 0; --i, id >>= 4)
        text[i] = digits[id & 0xF];
    return text;
}

// The 16 hexadecimal digits of a playlist: the first 8 bytes of the SHA-1 of its title.
QByteArray playlistPersistentId(const QString &title)
{
    return QCryptographicHash::hash(title.toUtf8(), QCryptographicHash::Sha1)
        .left(8)
        .toHex()
        .toUpper();
}

void playlist(Plist &out, const QString &name, int id, bool master, const std::vector<int> &tracks)
{
    out.open("<dict>");
    if (master)
        out.flag("Master", true);
    out.string("Name", name);
    out.integer("Playlist ID", std::uint64_t(id));
    out.ascii("Playlist Persistent ID", playlistPersistentId(name));
    if (master)
        out.flag("Visible", false);
    out.flag("All Items", true);
    out.key("Playlist Items");
    out.raw("\n");
    out.open("<array>");
    for (const int k : tracks) {
        out.open("<dict>");
        out.integer("Track ID", std::uint64_t(k));
        out.close("</dict>");
    }
    out.close("</array>");
    out.close("</dict>");
}

} // namespace

QByteArray fileUrl(const std::string &path, char separator)
{
    static const char hexDigits[] = "0123456789ABCDEF";
    // Windows: "file://localhost/C:/..."; elsewhere "file://" and the path, with its own
    // leading "/": "file:///home/...".
    const bool windows = separator == '\\';
    QByteArray url(windows ? "file://localhost/" : "file://");
    url.reserve(qsizetype(path.size()) + 32);
    std::size_t i = 0;
    if (windows && path.size() >= 2 && path[1] == ':') {
        url.append(path[0]);
        url.append(':');
        i = 2;
    }
    if (windows) {
        while (i == 0 && i < path.size() && (path[i] == '/' || path[i] == separator))
            ++i; // the root's own "/" is the one after the host
    } else if (path.empty() || path[0] != '/') {
        url.append('/'); // an absolute path always
    }
    for (; i < path.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(path[i]);
        if (c == '/' || c == static_cast<unsigned char>(separator)) {
            url.append('/');
        } else if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                   c == '-' || c == '.' || c == '_' || c == '~') {
            url.append(char(c));
        } else {
            url.append('%');
            url.append(hexDigits[c >> 4]);
            url.append(hexDigits[c & 0xF]);
        }
    }
    return url;
}

QByteArray libraryXml(const TrackTable &table, const std::vector<LibraryCopy> &copies,
                      const std::string &exportDirectory, char separator, const QDateTime &now)
{
    const auto hasCopy = [&](int k) {
        return std::size_t(k - 1) < copies.size() && !copies[std::size_t(k - 1)].path.empty();
    };
    std::vector<int> all;
    for (int k = 1; k <= table.count(); ++k) {
        if (hasCopy(k))
            all.push_back(k);
    }

    Plist out(all.size() * 1400 + 4096);
    out.raw("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
            "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
            "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
            "<plist version=\"1.0\">\n");
    out.open("<dict>");
    out.integer("Major Version", 1);
    out.integer("Minor Version", 1);
    out.string("Application Version", QStringLiteral(SONDREL_VERSION));
    out.key("Date");
    out.raw("<date>");
    out.raw(now.toUTC().toString(Qt::ISODate).toLatin1());
    out.raw("</date>\n");
    out.ascii("Music Folder", fileUrl(exportDirectory, separator));

    out.key("Tracks");
    out.raw("\n");
    out.open("<dict>");
    for (const int k : all) {
        const Track &t = table.track(k);
        out.numberKey(std::uint64_t(k));
        out.open("<dict>");
        out.integer("Track ID", std::uint64_t(k));
        out.string("Name", t.texts[FieldTitle - FieldTitle]);
        out.string("Artist", t.texts[FieldArtist - FieldTitle]);
        out.string("Album Artist", t.albumArtist);
        out.string("Composer", t.composer);
        out.string("Album", t.texts[FieldAlbum - FieldTitle]);
        out.string("Genre", t.texts[FieldGenre - FieldTitle]);
        out.string("Comments", t.texts[FieldComment - FieldTitle]);
        out.integer("Track Number", t.trackNumber);
        out.integer("Disc Number", t.discNumber);
        out.integer("Year", t.year);
        out.integer("Total Time", t.duration > 0 ? std::uint64_t(t.duration) : 0);
        out.integer("Size", copies[std::size_t(k - 1)].size);
        out.integer("Rating", t.rating);
        out.integer("Play Count", t.playCount);
        out.integer("Play Date", t.lastPlayed);
        out.date("Play Date UTC", t.lastPlayed);
        out.integer("Skip Count", t.skipCount);
        out.date("Skip Date", t.lastSkipped);
        out.date("Date Added", t.dateAdded);
        if (t.persistentId)
            out.ascii("Persistent ID", hex16(t.persistentId));
        out.ascii("Track Type", "File");
        out.ascii("Location", fileUrl(copies[std::size_t(k - 1)].path, separator));
        out.close("</dict>");
    }
    out.close("</dict>");

    out.key("Playlists");
    out.raw("\n");
    out.open("<array>");
    int id = table.count();
    playlist(out, QStringLiteral("Library"), ++id, true, all);
    for (const Playlist &list : table.playlists()) {
        std::vector<int> tracks;
        for (const int k : list.tracks) {
            if (table.contains(k) && hasCopy(k))
                tracks.push_back(k);
        }
        playlist(out, list.title, ++id, false, tracks);
    }
    out.close("</array>");
    out.close("</dict>");
    out.raw("</plist>\n");
    return out.take();
}

PlacedFile writeLibraryFile(const FilePaths &fs, const ExportSnapshot &snapshot, RecordFile &record,
                            FolderNames &names)
{
    const TrackTable &table = *snapshot.library;
    QHash<int, std::size_t> itemOf;
    for (std::size_t i = 0; i < snapshot.items.size(); ++i) {
        if (snapshot.items[i].present)
            itemOf.insert(snapshot.items[i].track, i);
    }
    std::vector<LibraryCopy> copies(std::size_t(table.count()));
    for (int k = 1; k <= table.count(); ++k) {
        LibraryCopy &copy = copies[std::size_t(k - 1)];
        if (const auto found = itemOf.constFind(k); found != itemOf.cend()) {
            // The record's line of this run's copy (or of the file found there) has the
            // placed file's size.
            const ExportItem &item = snapshot.items[*found];
            const std::string relative = FolderNames::relative(item.folders, item.name);
            copy.path = names.path(relative);
            const RecordLine *line = record.record().find(relative);
            copy.size = line ? line->size : item.size;
            continue;
        }
        const std::vector<const RecordLine *> lines =
            record.record().byKey(RecordTrack, recordKey(table, k));
        for (auto line = lines.rbegin(); line != lines.rend(); ++line) {
            if (std::optional<std::string> spelt = names.onDisk((*line)->path)) {
                copy.path = names.path(*spelt);
                copy.size = (*line)->size;
                break;
            }
        }
    }
    const QByteArray bytes = libraryXml(table, copies, snapshot.exportDirectory, fs.separator(),
                                        QDateTime::currentDateTimeUtc());
    const QString name = QString::fromLatin1(LibraryFileName);
    return placeFile(record, names, snapshot, RecordLibrary, QString(),
                     {name.left(name.lastIndexOf(QLatin1Char('.'))), QStringLiteral(".xml"), name},
                     bytes);
}

} // namespace sondrel
