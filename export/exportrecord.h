#pragma once

#include "exportfiles.h"
#include "historytags.h"

#include <QByteArray>
#include <QHash>
#include <QMultiHash>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace sondrel {

// The record of what Sondrel placed in an export directory, a hidden UTF-8 text file in it.
inline constexpr char ExportRecordFileName[] = ".sondrel-record.tsv";

// The kinds of file a record line names.
inline constexpr char RecordTrack[] = "track";
inline constexpr char RecordPlaylist[] = "playlist";
inline constexpr char RecordErrors[] = "errors";
inline constexpr char RecordCover[] = "cover"; // an album folder's cover.jpg, keyed by the folder

// The values of a track line's cover column.
inline constexpr char RecordCoverPut[] = "player";
inline constexpr char RecordCoverOwn[] = "own";

// One placed file. Written as one line of tab-separated fields in this order; a later
// version of the record adds its columns after these, and a line keeps the columns it
// does not know (`extra`) when the record is written anew.
struct RecordLine
{
    std::string path; // from the export directory, "/" between names
    std::string kind; // RecordTrack, RecordPlaylist, RecordErrors, or a later kind
    QString key;      // a track's persistent ID (or location); a playlist's title
    std::uint64_t sourceSize = 0;
    FileTime sourceTime = 0;
    std::uint64_t size = 0; // of the placed file
    FileTime time = 0;
    // The player's history written into a track's copy (ratings and play counts): nothing
    // when its tags were left as they were. `tagsRefused`: they could not be written, and
    // the copy was placed untagged.
    std::optional<HistoryTags> tagged;
    bool tagsRefused = false;
    // Bytes of a rescued copy that could not be read from its source and are zeros.
    std::uint64_t lost = 0;
    // What a track's copy carries as its cover: RecordCoverPut (the player's, put in by
    // Sondrel), RecordCoverOwn (a picture of the file's own, kept), or empty (not looked at).
    std::string cover;
    std::vector<std::string> extra;
};

// True when two modification times name the same moment as file systems keep it: within
// 2 s (FAT keeps every other second), or exactly one hour apart within 2 s (Windows shows
// FAT times shifted by an hour across daylight saving).
bool sameTime(FileTime a, FileTime b);

// True when a file of `size` and time `time` is as `line` recorded it (the placed file).
bool asRecorded(const RecordLine &line, std::uint64_t size, FileTime time);

// The lines of a record. A later line for a path (letter case aside) replaces an earlier one.
class ExportRecord
{
public:
    // The record in `bytes`: nothing when they are not a record of Sondrel (a file of the
    // user's at the record's name). Empty bytes, or a start of the first line that a crash
    // cut short, are an empty record; lines that cannot be read are passed over.
    static std::optional<ExportRecord> parse(std::span<const std::uint8_t> bytes);

    // The first line: the record's name and version, then the names of the columns.
    QByteArray header() const;
    static QByteArray lineText(const RecordLine &line);
    // The whole file: the header and every line, in order.
    QByteArray text() const;

    std::size_t size() const { return m_byPath.size(); }
    // Calls `visit` for every line, in order.
    void forEach(const std::function<void(const RecordLine &)> &visit) const;
    // The line of `path`, letter case aside; nothing when there is none.
    const RecordLine *find(const std::string &path) const;
    // The lines of one kind and key, in order.
    std::vector<const RecordLine *> byKey(const std::string &kind, const QString &key) const;
    // Adds a line, replacing the one of its path.
    void put(RecordLine line);
    // Drops the line of `path`.
    void remove(const std::string &path);
    // Drops every line for which `keep` is false; true when one was dropped.
    bool keepOnly(const std::function<bool(const RecordLine &)> &keep);

    // The case-folded form of a path, as lines are found by it.
    static QString folded(const std::string &path);

private:
    std::vector<std::optional<RecordLine>> m_lines; // dropped lines leave a gap
    QHash<QString, std::size_t> m_byPath;
    QHash<QString, std::size_t> m_firstByKey;     // the first line of a key, of any kind
    QMultiHash<QString, std::size_t> m_moreByKey; // its later lines
    std::vector<std::string> m_laterColumns;      // header names after ours
};

// The record of an export directory while a run holds it: locked for the whole run, so
// that a second run into the folder (another window, the command line) is refused.
class RecordFile
{
public:
    enum class Opened {
        Ready,   // locked and read (a damaged or unreadable record reads as empty)
        Held,    // another run holds it
        Foreign, // the file at the record's name is not a record of Sondrel's
    };

    // With `folder`, the export directory held for the run, the record is opened in it
    // without following a link, and anything at its name that is not a file of one link (a
    // link, a folder, a FIFO) is Foreign; otherwise it is opened by its path.
    RecordFile(const ExportFiles &fs, const std::string &exportDirectory,
               std::shared_ptr<const HeldFolder> folder = nullptr);

    // Locks and reads the record, making the file when there is none. Raises
    // PlatformError when it cannot be opened (a read-only or failing drive).
    Opened open();
    const std::string &path() const { return m_path; }
    ExportRecord &record() { return m_record; }
    const ExportRecord &record() const { return m_record; }

    // Adds the lines to the file and flushes them to the disk, one flush for all of them,
    // and puts them into record(). Raises PlatformError on failure. Two threads may add
    // at the same time.
    void append(const std::vector<RecordLine> &lines);
    // Forgets the line of a path that turned out not to be ours.
    void forget(const std::string &path);
    // Ends the run's hold: drops the lines for which `present` is false, writes the record
    // anew through a temporary file and a rename when it changed (hidden on Windows), or
    // removes it when no line is left, and releases the lock. Raises PlatformError when the
    // record cannot be written; the lock is released all the same.
    void close(const std::function<bool(const RecordLine &)> &present);

private:
    const ExportFiles &m_fs;
    std::string m_path;
    std::shared_ptr<const HeldFolder> m_folder;
    std::unique_ptr<LockedFile> m_lock;
    std::mutex m_appending;
    ExportRecord m_record;
    QByteArray m_beforeFirstLine; // what an append must write first: the rest of the header
    bool m_changed = false;       // lines appended or forgotten since it was read
    bool m_rewrite = false;       // damaged or unreadable: written anew at the end
};

} // namespace sondrel
