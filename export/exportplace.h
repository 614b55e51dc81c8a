#pragma once

#include "exportitems.h"
#include "exportrecord.h"
#include "exportreport.h"
#include "filesystem.h"

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <deque>
#include <future>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace sondrel {

class FolderNames;

// The last steps of the run's copies. Each staged copy gets the history tags of its item
// (when it has them), its source's time and is flushed to the disk on a thread of its own
// while the next one is copied (a copy TagLib refuses is copied again untagged, noted in
// the item's `tagsNote`); then, for all
// whose flush is done, their lines go into the record with one flush of it, and only then
// is each renamed to its name, so that the record never misses a placed file. These batches
// are placed one after the other on a thread of their own, while the copies go on. A name
// that turns out taken at that moment makes the copy take the next free " (n)" (its line
// first).
class Placer
{
public:
    // How a copy ended.
    struct Placed
    {
        std::size_t index = 0; // of the item
        CopyResult result;     // Copied, or why not
        std::string path;      // where it is (or was meant to be)
    };

    Placer(const FileSystem &fs, RecordFile &record, FolderNames &names, ExportSnapshot &snapshot);
    ~Placer();

    // Takes the staged copy of item `index`; it may be the item's recorded copy to replace.
    void add(std::size_t index, std::unique_ptr<StagedCopy> copy);
    // The copies placed since the last call, in order. Starts placing those whose flush
    // is done; while more than `most` wait, waits for them (0: for every one). Raises
    // PlatformError when the record cannot be written: the copies not yet renamed are
    // dropped with their temporary files.
    std::vector<Placed> settle(std::size_t most);

private:
    // A copy's last steps on its own thread: its history tags, then its time and flush.
    struct Flushed
    {
        CopyResult result;
        std::optional<QString> tagsRefused; // why TagLib refused the copy (not flushed then)
        CoverOutcome cover = CoverOutcome::None;
    };
    struct Pending
    {
        std::size_t index;
        std::unique_ptr<StagedCopy> copy;
        std::future<Flushed> flushed;
    };
    // Copies placed together: one flush of the record for all their lines.
    struct Batch
    {
        std::vector<Pending> copies;
        std::vector<CopyResult> flushes;
        std::vector<std::string> paths;
        std::vector<bool> replace;
        std::vector<RecordLine> lines;
        std::vector<CopyResult> renames; // filled by the placing thread
    };
    RecordLine lineOf(const ExportItem &item, const CopyResult &flushed) const;
    // Discards a copy that TagLib refused, copies its source again untagged and flushes it.
    CopyResult untagged(Pending &pending, const QString &refusal);
    // Starts placing the flushed copies at the front (waits for the front one's flush).
    void start();
    // Waits for the batch under way and takes its results (a name taken at that moment
    // gets the next free number here); nothing when none is under way.
    std::vector<Placed> finish();

    const FileSystem &m_fs;
    RecordFile &m_record;
    FolderNames &m_names;
    ExportSnapshot &m_snapshot;
    std::deque<Pending> m_pending;
    Batch m_batch;               // under way on the placing thread
    std::future<void> m_placing; // its end
};

// A file of the run's own besides the copies (a playlist, the errors list, the library
// file, an album's cover), written through the record into `folders` (the export directory
// when empty): into the name the record gives the file of this kind and key there when that
// file is still as written (it is replaced) or gone; otherwise into `wanted`, numbered
// " (2)", " (3)", ... while the name is taken. Staged, flushed, recorded, then renamed, like
// the copies. With `keepSame`, a recorded file still as written that holds these very bytes
// is left as it is (`unchanged`).
struct PlacedFile
{
    CopyResult result; // Copied, or why not
    std::string path;  // where it is (or was meant to be)
    std::string relative;
    bool unchanged = false;
};
PlacedFile placeFile(RecordFile &record, FolderNames &names, const ExportSnapshot &snapshot,
                     const std::string &kind, const QString &key, const ExportName &wanted,
                     const QByteArray &bytes, const QStringList &folders = {},
                     bool keepSame = false);

} // namespace sondrel
