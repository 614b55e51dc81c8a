#include "libraryfile.h"

#include "exportplan.h"
#include "exportrecord.h"
#include "historytext.h"

#include <QCryptographicHash>
#include <QHash>

#include <cstring>

namespace sondrel {

namespace {

// True for a UTF-16 unit that may stand in XML text as it is: no markup character, no
// control character but tab, line feed and carriage return, no surrogate (pairs are
// looked at one by one) and not U+FFFE or U+FFFF.
bool plainUnit(char16_t u)
{
    if (u < 0x20)
        return u == 0x9 || u == 0xA || u == 0xD;
    if (u == u'&' || u == u'<' || u == u'>')
        return false;
    return u < 0xD800 || (u > 0xDFFF && u < 0xFFFE);
}

// The library file, built as bytes: a writer of XML elements would cost several times as
// much for 40,000 tracks.
class Plist
{
public:
    explicit Plist(qsizetype reserve) { m_out.reserve(reserve); }

    QByteArray take() { return std::move(m_out); }

    void raw(const char *text) { m_out.append(text); }
    void raw(const QByteArray &text) { m_out.append(text); }

    // `text` escaped, the characters XML forbids dropped.
    void text(const QString &text)
    {
        const char16_t *p = reinterpret_cast<const char16_t *>(text.utf16());
        const qsizetype n = text.size();
        qsizetype i = 0;
        while (i < n && plainUnit(p[i]))
            ++i;
        if (i == n) {
            m_out.append(text.toUtf8());
            return;
        }
        QString clean;
        clean.reserve(n + 16);
        for (i = 0; i < n; ++i) {
            const char16_t u = p[i];
            if (plainUnit(u)) {
                clean.append(QChar(u));
            } else if (u == u'&') {
                clean.append(QLatin1String("&amp;"));
            } else if (u == u'<') {
                clean.append(QLatin1String("&lt;"));
            } else if (u == u'>') {
                clean.append(QLatin1String("&gt;"));
            } else if (u >= 0xD800 && u <= 0xDBFF && i + 1 < n && p[i + 1] >= 0xDC00 &&
                       p[i + 1] <= 0xDFFF) {
                clean.append(QChar(u));
                clean.append(QChar(p[++i]));
            }
            // anything else XML does not allow: dropped
        }
        m_out.append(clean.toUtf8());
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
        m_out.append(first, end - first);
    }

    void key(const char *name)
    {
        m_out.append(m_indent);
        m_out.append("<key>");
        m_out.append(name);
        m_out.append("</key>");
    }

    void string(const char *name, const QString &value)
    {
        if (value.isEmpty())
            return;
        key(name);
        m_out.append("<string>");
        text(value);
        m_out.append("</string>\n");
    }
    void ascii(const char *name, const QByteArray &value)
    {
        key(name);
        m_out.append("<string>");
        m_out.append(value);
        m_out.append("</string>\n");
    }
    void integer(const char *name, std::uint64_t value)
    {
        if (value == 0)
            return;
        key(name);
        m_out.append("<integer>");
        number(value);
        m_out.append("</integer>\n");
    }
    void date(const char *name, std::uint32_t macTime)
    {
        if (macTime == 0)
            return;
        key(name);
        m_out.append("<date>");
        m_out.append(macTimeIsoUtc(macTime).toLatin1());
        m_out.append("</date>\n");
    }
    void flag(const char *name, bool value)
    {
        key(name);
        m_out.append(value ? "<true/>\n" : "<false/>\n");
    }

    void open(const char *tag)
    {
        m_out.append(m_indent);
        m_out.append(tag);
        m_out.append('\n');
        m_indent.append('\t');
    }
    void close(const char *tag)
    {
        m_indent.chop(1);
        m_out.append(m_indent);
        m_out.append(tag);
        m_out.append('\n');
    }

private:
    QByteArray m_out;
    QByteArray m_indent;
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

void playlist(Plist &out, const QString &name, int id, bool master,
              const std::vector<int> &tracks)
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
    QByteArray url("file://localhost/");
    url.reserve(qsizetype(path.size()) + 32);
    std::size_t i = 0;
    if (separator == '\\' && path.size() >= 2 && path[1] == ':') {
        url.append(path[0]);
        url.append(':');
        i = 2;
    }
    while (i < path.size() && i == 0 && (path[i] == '/' || path[i] == separator))
        ++i; // the root's own "/" is the one after the host
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

QByteArray libraryXml(const TrackTable &table, const std::vector<std::string> &copies,
                      const std::string &exportDirectory, char separator, const QDateTime &now)
{
    const auto hasCopy = [&](int k) {
        return std::size_t(k - 1) < copies.size() && !copies[std::size_t(k - 1)].empty();
    };
    std::vector<int> all;
    for (int k = 1; k <= table.count(); ++k) {
        if (hasCopy(k))
            all.push_back(k);
    }

    Plist out(qsizetype(all.size()) * 1400 + 4096);
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
        out.key(QByteArray::number(k).constData());
        out.raw("\n");
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
        out.integer("Size", t.size);
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
        out.ascii("Location", fileUrl(copies[std::size_t(k - 1)], separator));
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

PlacedFile writeLibraryFile(const FileSystem &fs, const ExportSnapshot &snapshot,
                            RecordFile &record, FolderNames &names)
{
    const TrackTable &table = *snapshot.library;
    QHash<int, std::size_t> itemOf;
    for (std::size_t i = 0; i < snapshot.items.size(); ++i) {
        if (snapshot.items[i].present)
            itemOf.insert(snapshot.items[i].track, i);
    }
    std::vector<std::string> copies(std::size_t(table.count()));
    for (int k = 1; k <= table.count(); ++k) {
        std::string &copy = copies[std::size_t(k - 1)];
        if (const auto found = itemOf.constFind(k); found != itemOf.cend()) {
            const ExportItem &item = snapshot.items[*found];
            copy = names.path(FolderNames::relative(item.folders, item.name));
            continue;
        }
        const std::vector<const RecordLine *> lines =
            record.record().byKey(RecordTrack, recordKey(table, k));
        for (auto line = lines.rbegin(); line != lines.rend(); ++line) {
            if (std::optional<std::string> spelt = names.onDisk((*line)->path)) {
                copy = names.path(*spelt);
                break;
            }
        }
    }
    const QByteArray bytes = libraryXml(table, copies, snapshot.exportDirectory, fs.separator(),
                                        QDateTime::currentDateTimeUtc());
    const QString name = QString::fromLatin1(LibraryFileName);
    return placeFile(fs, record, names, snapshot, RecordLibrary, QString(),
                     {name.left(name.lastIndexOf(QLatin1Char('.'))), QStringLiteral(".xml"), name},
                     bytes);
}

} // namespace sondrel
