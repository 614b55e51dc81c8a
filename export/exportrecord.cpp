#include "exportrecord.h"

#include "platformerror.h"

#include <algorithm>
#include <charconv>
#include <cstdlib>

namespace sondrel {

namespace {

constexpr char Magic[] = "sondrel-record";
constexpr int Version = 1;
// Our columns, in order; the header names them after the name and the version.
constexpr const char *Columns[] = {"path",        "kind",     "key",  "source size",
                                   "source time", "size",     "time", "tag stars",
                                   "tag plays",   "tag form", "lost", "cover"};
constexpr std::size_t ColumnCount = std::size(Columns);
// The columns every line has; the tag columns came later (a line without them has none).
constexpr std::size_t FirstColumns = 7;
// In the tag columns: the tags could not be written into the copy.
constexpr char TagsRefused[] = "-";

constexpr FileTime Second = 1000000000;

// A field as written: backslash, tab, line feed and carriage return escaped.
void appendEscaped(QByteArray &out, std::string_view text)
{
    for (const char c : text) {
        switch (c) {
        case '\\':
            out += "\\\\";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        default:
            out += c;
        }
    }
}

std::string unescaped(std::string_view field)
{
    if (field.find('\\') == std::string_view::npos)
        return std::string(field);
    std::string out;
    out.reserve(field.size());
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] != '\\' || i + 1 == field.size()) {
            out += field[i];
            continue;
        }
        const char next = field[++i];
        out += next == 't' ? '\t' : next == 'n' ? '\n' : next == 'r' ? '\r' : next;
    }
    return out;
}

template <typename Number> bool numberOf(std::string_view field, Number &value)
{
    const auto [end, error] = std::from_chars(field.data(), field.data() + field.size(), value);
    return error == std::errc() && end == field.data() + field.size();
}

// The tab-separated fields of one line.
void fieldsOf(std::string_view line, std::vector<std::string_view> &fields)
{
    fields.clear();
    std::size_t start = 0;
    for (;;) {
        const std::size_t tab = line.find('\t', start);
        fields.push_back(line.substr(start, tab == std::string_view::npos ? tab : tab - start));
        if (tab == std::string_view::npos)
            return;
        start = tab + 1;
    }
}

} // namespace

bool sameTime(FileTime a, FileTime b)
{
    const FileTime apart = a > b ? a - b : b - a;
    constexpr FileTime Hour = 3600 * Second;
    return apart <= 2 * Second || (apart >= Hour - 2 * Second && apart <= Hour + 2 * Second);
}

bool asRecorded(const RecordLine &line, std::uint64_t size, FileTime time)
{
    return size == line.size && sameTime(time, line.time);
}

QString ExportRecord::folded(const std::string &path)
{
    return QString::fromStdString(path).toCaseFolded();
}

std::optional<ExportRecord> ExportRecord::parse(std::span<const std::uint8_t> bytes)
{
    const std::string_view text(reinterpret_cast<const char *>(bytes.data()), bytes.size());
    ExportRecord record;
    const std::size_t headerEnd = text.find('\n');
    const std::string_view first = text.substr(0, headerEnd);
    const std::string_view magic(Magic);
    if (headerEnd == std::string_view::npos) {
        // A header that a crash cut short, or nothing at all: an empty record.
        const std::string whole = std::string(magic) + '\t';
        if (whole.rfind(first, 0) == 0 || first.rfind(whole, 0) == 0)
            return record;
        return std::nullopt;
    }
    std::vector<std::string_view> header;
    fieldsOf(first, header);
    int version = 0;
    if (header.size() < 2 || header[0] != magic || !numberOf(header[1], version) || version < 1)
        return std::nullopt;
    // The tag columns where the header names them (a record of an earlier version has
    // none); every other column after the first ones is kept as it is.
    constexpr std::size_t None = std::size_t(-1);
    std::size_t starsAt = None, playsAt = None, formAt = None, lostAt = None, coverAt = None;
    for (std::size_t i = 2 + FirstColumns; i < header.size(); ++i) {
        if (header[i] == Columns[FirstColumns] && starsAt == None)
            starsAt = i - 2;
        else if (header[i] == Columns[FirstColumns + 1] && playsAt == None)
            playsAt = i - 2;
        else if (header[i] == Columns[FirstColumns + 2] && formAt == None)
            formAt = i - 2;
        else if (header[i] == Columns[FirstColumns + 3] && lostAt == None)
            lostAt = i - 2;
        else if (header[i] == Columns[FirstColumns + 4] && coverAt == None)
            coverAt = i - 2;
        else
            record.m_laterColumns.emplace_back(header[i]);
    }

    const std::size_t lines = std::size_t(std::count(text.begin(), text.end(), '\n'));
    record.m_lines.reserve(lines);
    record.m_byPath.reserve(qsizetype(lines));
    record.m_firstByKey.reserve(qsizetype(lines));
    std::vector<std::string_view> fields;
    for (std::size_t start = headerEnd + 1; start < text.size();) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) // a last line without its end: cut short
            break;
        fieldsOf(text.substr(start, end - start), fields);
        start = end + 1;
        RecordLine line;
        if (fields.size() < FirstColumns || fields[0].empty() || fields[1].empty() ||
            !numberOf(fields[3], line.sourceSize) || !numberOf(fields[4], line.sourceTime) ||
            !numberOf(fields[5], line.size) || !numberOf(fields[6], line.time))
            continue;
        line.path = unescaped(fields[0]);
        line.kind = unescaped(fields[1]);
        line.key = fields[2].find('\\') == std::string_view::npos
                       ? QString::fromUtf8(fields[2].data(), qsizetype(fields[2].size()))
                       : QString::fromStdString(unescaped(fields[2]));
        if (starsAt < fields.size() && playsAt < fields.size()) {
            const std::string_view stars = fields[starsAt], plays = fields[playsAt];
            HistoryTags tags;
            if (stars == TagsRefused && plays == TagsRefused)
                line.tagsRefused = true;
            else if (numberOf(stars, tags.stars) && numberOf(plays, tags.plays))
                line.tagged = tags;
            // Tags written before the form was recorded are of the first form.
            if (line.tagged &&
                !(formAt < fields.size() && numberOf(fields[formAt], line.tagged->form)))
                line.tagged->form = 1;
        }
        if (lostAt < fields.size() && !numberOf(fields[lostAt], line.lost))
            line.lost = 0; // empty: nothing lost
        if (coverAt < fields.size())
            line.cover = unescaped(fields[coverAt]);
        for (std::size_t i = FirstColumns; i < fields.size(); ++i) {
            if (i != starsAt && i != playsAt && i != formAt && i != lostAt && i != coverAt)
                line.extra.emplace_back(fields[i]);
        }
        record.put(std::move(line));
    }
    return record;
}

QByteArray ExportRecord::header() const
{
    QByteArray out = QByteArray(Magic) + '\t' + QByteArray::number(Version);
    for (const char *column : Columns)
        out += QByteArray("\t") + column;
    for (const std::string &column : m_laterColumns)
        out += '\t' + QByteArray::fromStdString(column);
    return out + '\n';
}

QByteArray ExportRecord::lineText(const RecordLine &line)
{
    QByteArray out;
    out.reserve(int(line.path.size()) + 80);
    appendEscaped(out, line.path);
    out += '\t';
    appendEscaped(out, line.kind);
    out += '\t';
    appendEscaped(out, line.key.toStdString());
    for (const std::int64_t n :
         {std::int64_t(line.sourceSize), line.sourceTime, std::int64_t(line.size), line.time})
        out += '\t' + QByteArray::number(qint64(n));
    if (line.tagsRefused) {
        out += QByteArray("\t") + TagsRefused + '\t' + TagsRefused + '\t';
    } else if (line.tagged) {
        out += '\t' + QByteArray::number(line.tagged->stars) + '\t' +
               QByteArray::number(line.tagged->plays) + '\t' +
               QByteArray::number(line.tagged->form);
    } else {
        out += "\t\t\t";
    }
    out += '\t';
    if (line.lost > 0)
        out += QByteArray::number(qulonglong(line.lost));
    out += '\t';
    appendEscaped(out, line.cover);
    for (const std::string &field : line.extra)
        out += '\t' + QByteArray::fromStdString(field); // kept as read, escapes and all
    return out + '\n';
}

QByteArray ExportRecord::text() const
{
    QByteArray out = header();
    forEach([&](const RecordLine &line) { out += lineText(line); });
    return out;
}

void ExportRecord::forEach(const std::function<void(const RecordLine &)> &visit) const
{
    for (const std::optional<RecordLine> &line : m_lines) {
        if (line)
            visit(*line);
    }
}

const RecordLine *ExportRecord::find(const std::string &path) const
{
    const auto found = m_byPath.constFind(folded(path));
    return found == m_byPath.cend() ? nullptr : &*m_lines[*found];
}

std::vector<const RecordLine *> ExportRecord::byKey(const std::string &kind,
                                                    const QString &key) const
{
    std::vector<const RecordLine *> lines;
    const auto first = m_firstByKey.constFind(key);
    if (first == m_firstByKey.cend())
        return lines;
    std::vector<std::size_t> indices{*first};
    for (auto more = m_moreByKey.constFind(key); more != m_moreByKey.cend() && more.key() == key;
         ++more)
        indices.push_back(*more);
    std::sort(indices.begin(), indices.end());
    for (const std::size_t i : indices) {
        if (m_lines[i] && m_lines[i]->kind == kind && m_lines[i]->key == key)
            lines.push_back(&*m_lines[i]);
    }
    return lines;
}

void ExportRecord::put(RecordLine line)
{
    const std::size_t index = m_lines.size();
    const QString path = folded(line.path);
    if (const auto found = m_byPath.find(path); found != m_byPath.end()) {
        m_lines[*found].reset(); // a later line of the path replaces the earlier one
        *found = index;
    } else {
        m_byPath.insert(path, index);
    }
    // Most keys have one line: the first is kept apart from the others.
    if (const auto first = m_firstByKey.constFind(line.key); first == m_firstByKey.cend())
        m_firstByKey.insert(line.key, index);
    else
        m_moreByKey.insert(line.key, index);
    m_lines.push_back(std::move(line));
}

void ExportRecord::remove(const std::string &path)
{
    const auto found = m_byPath.find(folded(path));
    if (found == m_byPath.end())
        return;
    m_lines[*found].reset(); // its index under the key finds an empty place
    m_byPath.erase(found);
}

bool ExportRecord::keepOnly(const std::function<bool(const RecordLine &)> &keep)
{
    std::vector<std::string> dropped;
    forEach([&](const RecordLine &line) {
        if (!keep(line))
            dropped.push_back(line.path);
    });
    for (const std::string &path : dropped)
        remove(path);
    return !dropped.empty();
}

RecordFile::RecordFile(const ExportFiles &fs, const std::string &exportDirectory,
                       std::shared_ptr<const HeldFolder> folder)
    : m_fs(fs), m_path(exportDirectory + ExportRecordFileName), m_folder(std::move(folder))
{
}

RecordFile::Opened RecordFile::open()
{
    try {
        m_lock = m_folder ? m_folder->lockFile(ExportRecordFileName) : m_fs.lockFile(m_path);
    } catch (const PlatformError &) {
        if (m_folder) {
            // A link, a folder, a FIFO or a file with other names at the record's name: the
            // user's, never written through.
            const std::optional<FileStatus> there = m_folder->status(ExportRecordFileName);
            if (there && there->kind != FileStatus::Kind::File)
                return Opened::Foreign;
        } else if (m_fs.folderExists(m_path)) {
            return Opened::Foreign; // a folder of the user's at the record's name
        }
        throw;
    }
    if (!m_lock)
        return Opened::Held;
    std::vector<std::uint8_t> bytes;
    try {
        bytes = m_lock->read();
    } catch (const PlatformError &) {
        m_rewrite = true; // unreadable: as empty, and written anew at the end
        m_beforeFirstLine = m_record.header();
        return Opened::Ready;
    }
    std::optional<ExportRecord> read = ExportRecord::parse(bytes);
    if (!read) {
        m_lock.reset();
        return Opened::Foreign;
    }
    m_record = std::move(*read);
    const QByteArray header = m_record.header();
    const QByteArray start = QByteArray::fromRawData(reinterpret_cast<const char *>(bytes.data()),
                                                     qsizetype(bytes.size()));
    if (header.startsWith(start)) // new, or its header cut short
        m_beforeFirstLine = header.mid(start.size());
    else if (!start.endsWith('\n')) // its last line cut short: the next one starts anew
        m_beforeFirstLine = "\n";
    return Opened::Ready;
}

void RecordFile::append(const std::vector<RecordLine> &lines)
{
    if (lines.empty())
        return;
    const std::lock_guard<std::mutex> one(m_appending);
    QByteArray text = m_beforeFirstLine;
    for (const RecordLine &line : lines)
        text += ExportRecord::lineText(line);
    m_lock->append(text.constData(), std::size_t(text.size()));
    m_beforeFirstLine.clear();
    m_lock->flush();
    m_changed = true;
    for (const RecordLine &line : lines)
        m_record.put(line);
}

void RecordFile::forget(const std::string &path)
{
    const std::lock_guard<std::mutex> one(m_appending);
    if (m_record.find(path)) {
        m_record.remove(path);
        m_changed = true;
    }
}

void RecordFile::close(const std::function<bool(const RecordLine &)> &present)
{
    if (!m_lock)
        return;
    // The lock is released on every way out, also when the rewrite fails.
    std::unique_ptr<LockedFile> lock = std::move(m_lock);
    if (m_record.keepOnly(present))
        m_changed = true;
    if (m_record.size() == 0) {
        lock.reset(); // a file held open is not removed on Windows
        if (m_folder)
            m_folder->removeFile(ExportRecordFileName, [](const FileStatus &) { return true; });
        else if (m_fs.fileExists(m_path))
            m_fs.deleteFile(m_path);
        return;
    }
    if (!m_changed && !m_rewrite)
        return;
    const QByteArray text = m_record.text();
    lock->replace(text.constData(), std::size_t(text.size()));
}

} // namespace sondrel
