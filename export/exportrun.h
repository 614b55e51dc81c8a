#pragma once

#include "appstate.h"
#include "expfilename.h"
#include "namefields.h"

#include <QHash>
#include <QSet>
#include <QString>

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace sondrel {

class FileSystem;
class PlatformError;
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

// What the export run needs of the window it runs in.
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
    // Shows the status line with this text and repaints it at once.
    virtual void showStatus(const QString &text) = 0;
    // Empties the status line, which stays visible, and repaints the whole window.
    virtual void clearStatus() = 0;
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

// One click on "Export selected file(s)": the checks in their order, then the copy of
// every marked track's file from the player into the export directory, in grid order.
class ExportRun
{
public:
    enum class Outcome {
        DirectoryMissing,
        PlayerMissing,
        NotEnoughSpace,
        NothingSelected,
        Exported,
        Failed,
    };

    ExportRun(const FileSystem &fs, const TrackTable &table, ExportHost &host);

    // Runs the export of the request's marked tracks.
    Outcome run(const ExportRequest &request);

    // The files written by the last run, in the order they were written.
    const std::vector<std::string> &written() const { return m_written; }

private:
    Outcome copyMarked(const ExportRequest &request);
    void copyOne(const QString &location, const QString &destinationName);
    QString uniqueName(const ExportName &name);

    const FileSystem &m_fs;
    const TrackTable &m_table;
    ExportHost &m_host;
    std::string m_playerRoot;
    std::string m_exportDirectory;
    std::string m_playerDrive;
    std::unique_ptr<CaseInsensitiveFolders> m_folders;
    QSet<QString> m_namesUsed; // the names written in this run, case-folded
    std::vector<std::string> m_written;
};

} // namespace sondrel
