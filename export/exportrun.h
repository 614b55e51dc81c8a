#pragma once

#include "exportitems.h"
#include "exportreport.h"
#include "filesystem.h"
#include "platformerror.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace sondrel {

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

class ExportRecord;
class RecordFile;
class FolderNames;

// One export into one directory, from the checks to the report; ExportJob runs it for the
// window and the command line alike, on a thread of its own.
//
// prepare() takes the snapshot of the request (on the thread that owns the table). check()
// runs the checks of a click on "Export selected file(s)", in their order: the export
// directory, the player, the record of the export directory (a run already under way into
// it, or a file of that name that is not a record), the plan (see planExport), the free
// space for what the plan will write, at least one marked track. The record stays locked
// from there to the end of copy(). copy() copies what the plan says, in order.
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

    ExportRun(const FileSystem &fs, ExportHost &host);
    ~ExportRun();

    // Takes the snapshot of `request` from `table`; touches no file.
    void prepare(const TrackTable &table, const ExportRequest &request);
    // Runs the checks on the prepared snapshot; each failed one has shown its message.
    Outcome check();
    // The checks of check() for a run that is only shown, writing nothing: no record, no
    // lock, no folder, and leftover temporary files stay. The record is read as it is (a
    // directory that is not there yet holds none) and the plan made from it as check()
    // makes it; then every source to copy is looked at, so that one missing on the player
    // is passed over and its bytes are not counted. A run under way into the directory is
    // not seen. DirectoryMissing is never the outcome: the run would make the directory.
    Outcome preview();
    Outcome check(const TrackTable &table, const ExportRequest &request)
    {
        prepare(table, request);
        return check();
    }
    Outcome preview(const TrackTable &table, const ExportRequest &request)
    {
        prepare(table, request);
        return preview();
    }

    // What the run will write, in bytes (after a check that passed): what the free space
    // is checked against.
    std::uint64_t bytesToCopy() const { return m_bytesToCopy; }
    const ExportSnapshot &snapshot() const { return m_snapshot; }

    // Copies, on the calling thread, what the plan says, in order, into the folders, which
    // are made as they are needed; see copyPlanned. Then, when the run reached its end, the
    // playlists; then the errors list; then the record is written anew and released.
    ExportReport copy(ExportProgress &progress);

private:
    // The plan against `record` (the shared part of check() and preview()) and the free
    // space of the folder `spaceOf` against what it will write.
    Outcome plan(const ExportRecord &record, std::shared_ptr<const HeldFolder> folder,
                 const std::string &spaceOf, bool shownOnly);
    Outcome nothingMarked();

    const FileSystem &m_fs;
    ExportHost &m_host;
    bool m_copying = false; // copy() was entered
    ExportRequest m_request;
    ExportSnapshot m_snapshot;
    std::unique_ptr<RecordFile> m_record;
    std::unique_ptr<ExportRecord> m_seenRecord; // read by preview()
    std::unique_ptr<FolderNames> m_names;
    std::uint64_t m_bytesToCopy = 0;
};

// Shows how a run went: the run-time error report of a failure, then the closing message,
// then the report of an errors list or record that could not be written.
void tellReport(ExportHost &host, const ExportReport &report);

// The folders of `folder` (which ends with the separator) that are not there, from the
// top down, and the nearest folder above them that is (or where the walk up stopped).
struct MissingFolders
{
    std::string existing;
    std::vector<std::string> missing;
};
MissingFolders missingFolders(const FileSystem &fs, const std::string &folder);

} // namespace sondrel
