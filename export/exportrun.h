#pragma once

#include "coverart.h"
#include "totals.h"
#include "expfilename.h"
#include "filesystem.h"
#include "historytags.h"
#include "namefields.h"
#include "platformerror.h"

#include <QHash>
#include <QObject>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>
#include <memory>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace sondrel {

class TrackTable;

// What one export run works on, taken when the user asks for it.
struct ExportRequest
{
    QString playerDrive;     // the player's drive root, ending with the separator
    QString exportDirectory; // ending with the separator
    std::vector<int> marked; // the marked tracks' numbers, in the order they are copied
    SelectionTotals totals;  // of the marked tracks
    NameFields fields;       // the export-name fields in list order
    ExportOptions options;   // folders and playlists
};

// What the checks before an export run need of the window they run in.
class ExportHost
{
public:
    virtual ~ExportHost() = default;
    // Shows a message and returns once the user has closed it.
    virtual void message(const QString &text) = 0;
    // Shows the run-time error report of a failure and returns once it is closed.
    virtual void failure(const PlatformError &error) = 0;
    // The hourglass pointer (true) or the default pointer (false).
    virtual void setBusy(bool busy) = 0;
};

// The message for too little free space on the export drive `drive`, which has
// `available` bytes free. Lines are separated by a single carriage return.
QString freeSpaceMessage(const QString &drive, std::uint64_t available);

// The folder and file names of a location from the player's database (":F:G:name"),
// or nothing when the location cannot be trusted: it does not begin with ":", or one
// of its names is empty, made of dots (".", ".."), holds a path separator of either
// kind or the separator `separator`, or a NUL character. Where the separator is "\\"
// (Windows) a device name (CON, NUL, COM1, ...) is refused as well: it names no file
// on the player's drive.
std::optional<std::vector<std::string>> locationNames(const QString &location, char separator);

// The entries of folders by their names without regard to letter case; each folder is
// listed once, when it is first asked about.
class CaseInsensitiveFolders
{
public:
    explicit CaseInsensitiveFolders(const FileSystem &fs) : m_fs(fs) {}

    // The entry of `folder` whose name equals `name` but for letter case (the first in
    // name order when there are several); empty when there is none or the folder
    // cannot be listed.
    std::string find(const std::string &folder, const std::string &name);

private:
    const FileSystem &m_fs;
    std::map<std::string, QHash<QString, std::string>> m_folders;
};

// The path of a file below `root` (which ends with the separator) named by `names`.
// When that path does not exist as written, each name is looked up in its folder
// without regard to letter case; a name found neither way is kept as written.
std::string resolvePlayerPath(const FileSystem &fs, CaseInsensitiveFolders &folders,
                              const std::string &root, const std::vector<std::string> &names);

// The list of the tracks a run passed over, in the export directory.
inline constexpr char ExportErrorsFileName[] = "Sondrel export errors.txt";

// What a run does with a marked track, as its plan decides from the export directory's
// record and the files there.
enum class ExportStep {
    Copy,         // copied under a free name, or again under the name the record gives it
    Replace,      // the recorded copy is as placed but its source changed (or, with history
                  // tags, it was tagged otherwise): copied anew over it
    AlreadyThere, // the recorded copy and its source are as recorded (or the user changed
                  // the copy and its source is as recorded): nothing to copy
    Compare,      // a file the record does not name is at its name, as large as the source:
                  // compared in full, it is the copy (and recorded) or the name is passed by
    Skip,         // passed over before copying; `refusal` tells why
};

// One marked track as the run copies it.
struct ExportItem
{
    int track = 0; // its number in the track table
    QString title;
    std::vector<std::string> names; // the location's folder and file names
    std::string source;             // the file as the location names it on the player
    QString refusal;                // why it is passed over, if it is
    QString key;                    // in the record: the persistent ID, else the location
    QStringList wantedFolders;      // with artist and album folders: those two, valid names
    ExportName exportName;          // the file name before it is numbered
    std::uint64_t size = 0;         // as the database gives it
    std::int32_t duration = 0;      // milliseconds, for the playlists
    QString artist;                 // for the playlists
    // With history tags: what its copy is tagged with (see historyTagsFor).
    std::optional<HistoryTags> history;
    // With covers: the player's image for its copy (0: none).
    std::uint32_t cover = 0;

    // Decided by the plan.
    ExportStep step = ExportStep::Copy;
    QStringList folders; // below the export directory, as spelt on the disk
    QString name;        // in that folder
    int number = 1;      // n of " (n)" in the name
    std::string resolvedSource;             // the source as found on the player, once looked at
    std::optional<FileStatus> sourceStatus; // once looked at
    // Set by the copies: its copy is in the folder (copied, or already there).
    bool present = false;
    // Set by the copies: the source's size as copied; TagLib refused its copy, which was
    // copied again untagged, and the note it is listed with.
    std::uint64_t sourceBytes = 0;
    bool tagsRefused = false;
    QString tagsNote;
    // Set by the plan: the recorded copy is a rescued one that lost this many bytes; its
    // source is read again, and the copy replaced only when the whole file reads.
    std::uint64_t rescuedLost = 0;
    // Set by the copies: bytes of its copy that could not be read and are zeros.
    std::uint64_t lost = 0;
    CoverOutcome coverOutcome = CoverOutcome::None; // set by the copies
};

// A track of a playlist: one of the run's items, or a track whose recorded copy it lists.
struct PlaylistTrack
{
    static constexpr std::size_t NoItem = std::size_t(-1);
    std::size_t item = NoItem;
    QString key;
    std::int32_t duration = 0;
    QString artist;
    QString title;
};

// A playlist of the player as a run writes it.
struct ExportPlaylist
{
    QString title;
    std::vector<PlaylistTrack> tracks; // all of the player's playlist, in its order
};

// Everything a run copies, taken at the click, so that the copying thread reads no
// state that the window owns.
struct ExportSnapshot
{
    std::string exportDirectory;   // ends with the separator
    std::string playerRoot;        // ends with the separator
    std::vector<ExportItem> items; // the marked tracks in the request's order
    std::uint64_t bytes = 0;       // the sum of their sizes
    ExportOptions options;
    NameLimit limit;
    std::vector<ExportPlaylist> playlists; // with playlists: those holding a marked track
    // With the library file: the player's whole table (tracks and playlists) as it was at
    // the click; nothing otherwise.
    std::shared_ptr<const TrackTable> library;
    // With covers: the player's artwork, which the items' covers name, and its JPEGs, made
    // once each for the copies and the albums' cover.jpg.
    std::shared_ptr<const PlayerArtwork> artwork;
    std::shared_ptr<CoverJpegs> covers;
};

// The snapshot of a request: each marked track's title, its source built from its
// location, its key in the record, with artist and album folders its two folders
// (artistAlbumFolders), and its export name before numbering. With playlists, every
// playlist of the table that holds a marked track, in table order, with all its tracks.
// With the library file, a copy of the whole table. Touches no file; the names are the plan's.
ExportSnapshot takeSnapshot(const TrackTable &table, const ExportRequest &request, char separator,
                            const NameLimit &limit);

// The key of track k in the record: its persistent ID as 16 hexadecimal digits, or its
// location when the database gives it none.
QString recordKey(const TrackTable &table, int k);

// The progress text of the status line and the progress window.
QString exportStatusText(int n, int count, const QString &title);

// What a run has done so far, between the copying thread and the window's thread: each
// track reached is a signal (queued to the window), the bytes an atomic counter that the
// window reads when it repaints, and a cancel goes the other way.
class ExportProgress : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    // The copying thread reached track n of count.
    void reach(int n, int count, const QString &title) { Q_EMIT reached(n, count, title); }
    // The bytes of the tracks reached, counting the current one as far as it has come.
    void setBytes(std::uint64_t bytes) { m_bytes.store(bytes, std::memory_order_relaxed); }
    std::uint64_t bytes() const { return m_bytes.load(std::memory_order_relaxed); }

    void cancel() { m_cancelled.store(true); }
    bool cancelled() const { return m_cancelled.load(); }

Q_SIGNALS:
    void reached(int n, int count, const QString &title);

private:
    std::atomic<std::uint64_t> m_bytes{0};
    std::atomic<bool> m_cancelled{false};
};

// A track the run passed over, and why.
struct SkippedTrack
{
    QString title;
    std::string source;
    QString reason;
};

// How a run went.
struct ExportReport
{
    enum class End {
        Finished,          // every marked track was reached
        Cancelled,         // the user stopped it
        DestinationFailed, // the export drive or folder failed; `failure` tells how
        PlayerGone,        // the player no longer answers; `goneReason` tells why
    };

    End end = End::Finished;
    int count = 0;   // marked tracks
    int reached = 0; // tracks reached, copied or passed over
    int copied = 0;  // placed by this run
    int already = 0; // already there, copied by an earlier run
    std::vector<SkippedTrack> skipped;
    std::optional<PlatformError> failure;
    std::string errorsFile;                         // the list written, when one was
    std::optional<PlatformError> errorsFileFailure; // why the list could not be written
    std::vector<std::string> written;               // the files placed, playlists last
    std::optional<PlatformError> recordFailure;     // why the record could not be written
    std::string player;                             // the player's folder, for PlayerGone
    QString goneReason;                             // the system's word for it
};

// What a later step may do to each copy between its copy and its flush (before the
// history tags of ExportOptions::historyTags are written).
struct ExportHooks
{
    // Called on the copying thread with the staged copy of an item, before its time is
    // set, it is flushed and renamed; it may change the staged bytes. A text returned is a
    // note on the item (listed like a track passed over, the copy still placed).
    std::function<std::optional<QString>(const ExportItem &item, StagedCopy &copy)> retouch;
};

class ExportRecord;
class RecordFile;
class FolderNames;

// One export into one directory, from the checks to the closing message; the window and
// the command line run it alike.
//
// check() runs the checks of a click on "Export selected file(s)", in their order: the
// export directory, the player, the record of the export directory (a run already under
// way into it, or a file of that name that is not a record), the plan (see planExport),
// the free space for what the plan will write, at least one marked track. The record stays
// locked from there to the end of copy(). copy() copies what the plan says, in order;
// tell() shows how it went.
class ExportRun
{
public:
    enum class Outcome {
        DirectoryMissing,
        PlayerMissing,
        RecordHeld,    // another run writes into the directory
        RecordForeign, // a file of the user's at the record's name
        NotEnoughSpace,
        NothingSelected,
        Failed,
        Ready, // every check passed; the pointer is the hourglass until the run ends
    };
    // Runs a piece of work and returns when it is done (the window runs the plan on a
    // thread of its own and keeps painting meanwhile).
    using Worker = std::function<void(const std::function<void()> &work)>;

    ExportRun(const FileSystem &fs, ExportHost &host);
    ~ExportRun();

    // Runs the checks; each failed one has shown its message.
    Outcome check(const TrackTable &table, const ExportRequest &request, const Worker &worker = {});
    // The checks of check() for a run that is only shown, writing nothing: no record, no
    // lock, no folder, and leftover temporary files stay. The record is read as it is (a
    // directory that is not there yet holds none) and the plan made from it as check()
    // makes it; a run under way into the directory is not seen. DirectoryMissing is
    // never the outcome: the run would make the directory.
    Outcome preview(const TrackTable &table, const ExportRequest &request);

    // What the run will write, in bytes (after a check that passed).
    std::uint64_t bytesToCopy() const { return m_bytesToCopy; }
    const ExportSnapshot &snapshot() const { return m_snapshot; }

    // Copies, on the calling thread, what the plan says, in order, into the folders, which
    // are made as they are needed; see copyPlanned. Then, when the run reached its end, the
    // playlists; then the errors list; then the record is written anew and released.
    ExportReport copy(ExportProgress &progress, const ExportHooks &hooks = {});

    // Shows how the run went: the run-time error report of a failure, then the closing
    // message, then the report of an errors list or record that could not be written.
    void tell(const ExportReport &report);

private:
    const FileSystem &m_fs;
    ExportHost &m_host;
    bool m_copying = false; // copy() was entered
    ExportSnapshot m_snapshot;
    std::unique_ptr<RecordFile> m_record;
    std::unique_ptr<ExportRecord> m_seenRecord; // read by preview()
    std::unique_ptr<FolderNames> m_names;
    std::uint64_t m_bytesToCopy = 0;
};

// The message for a run refused because another one writes into `directory`.
QString recordHeldMessage(const QString &directory);
// The message for a run refused because the file at the record's path `path` is not one.
QString recordForeignMessage(const QString &path);

// The message that closes a run (after the run-time error report of a failure, if
// any): the success messages when every track was copied; "Export cancelled: n of N
// files exported." after a cancel; otherwise "n of N files exported." with the first
// tracks passed over and where the full list is. When some tracks were already there,
// "n of N files exported; m were already there." stands for the count. Empty when there
// is nothing to add to a failure report. A run that the player ended says so, with the
// files in the folder and the tracks passed over before.
QString closingMessage(const ExportReport &report);

// The note on a track copied with `lost` bytes left as zeros.
QString rescuedNote(std::uint64_t lost);

} // namespace sondrel
