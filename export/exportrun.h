#pragma once

#include "appstate.h"
#include "expfilename.h"
#include "filesystem.h"
#include "namefields.h"
#include "platformerror.h"

#include <QHash>
#include <QObject>
#include <QString>

#include <atomic>
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
    std::vector<int> marked; // the marked tracks, in the grid's order
    SelectionTotals totals;  // of the marked tracks
    NameFields fields;       // the export-name fields in list order
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

// The checks of a click on "Export selected file(s)", in their order: the export
// directory, the player, the free space for the marked total, at least one marked track.
class ExportRun
{
public:
    enum class Outcome {
        DirectoryMissing,
        PlayerMissing,
        NotEnoughSpace,
        NothingSelected,
        Failed,
        Ready, // every check passed; the pointer is the hourglass until the run ends
    };

    ExportRun(const FileSystem &fs, ExportHost &host) : m_fs(fs), m_host(host) {}

    // Runs the checks; each failed one has shown its message.
    Outcome check(const ExportRequest &request);

private:
    const FileSystem &m_fs;
    ExportHost &m_host;
};

// The list of the tracks a run passed over, in the export directory.
inline constexpr char ExportErrorsFileName[] = "Sondrel export errors.txt";

// One marked track as the run copies it.
struct ExportItem
{
    int track = 0; // its number in the track table
    QString title;
    std::vector<std::string> names; // the location's folder and file names
    std::string source;             // the file as the location names it on the player
    QString refusal;                // why the location names no file to copy, if it does not
    QString name;                   // the export file name, unique in the run
    std::uint64_t size = 0;         // as the database gives it
};

// Everything a run copies, taken at the click, so that the copying thread reads no
// state that the window owns.
struct ExportSnapshot
{
    std::string exportDirectory;   // ends with the separator
    std::string playerRoot;        // ends with the separator
    std::vector<ExportItem> items; // the marked tracks in grid order
    std::uint64_t bytes = 0;       // the sum of their sizes
};

// The snapshot of a request: each marked track's title, its source built from its
// location, and its export file name within `limit`, made unique in the run without
// regard to letter case (many export drives do not tell case apart) by " (2)", " (3)", ...
// Touches no file.
ExportSnapshot takeSnapshot(const TrackTable &table, const ExportRequest &request, char separator,
                            const NameLimit &limit);

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
    };

    End end = End::Finished;
    int count = 0;   // marked tracks
    int reached = 0; // tracks reached, copied or passed over
    int copied = 0;
    std::vector<SkippedTrack> skipped;
    std::optional<PlatformError> failure;
    std::string errorsFile;                         // the list written, when one was
    std::optional<PlatformError> errorsFileFailure; // why the list could not be written
    std::vector<std::string> written;               // the files placed, in order
};

// Copies the snapshot's tracks, in order, on the calling thread. A track whose source
// is missing, no regular file, the destination's own file or unreadable, or whose name
// the export folder refuses, is passed over and the run goes on; a failure of the
// destination ends the run, as does a cancel. Files placed before stay. When something
// was passed over, the list of those tracks replaces the errors file in the export
// directory.
ExportReport copyTracks(const FileSystem &fs, const ExportSnapshot &snapshot,
                        ExportProgress &progress);

// The message that closes a run (after the run-time error report of a failure, if
// any): the success messages when every track was copied; "Export cancelled: n of N
// files exported." after a cancel; otherwise "n of N files exported." with the first
// tracks passed over and where the full list is. Empty when there is nothing to add to
// a failure report.
QString closingMessage(const ExportReport &report);

} // namespace sondrel
