#pragma once

#include "expfilename.h"
#include "exportfiles.h"
#include "exportrecord.h"

#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>

#include <functional>

#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace sondrel {

class CaseInsensitiveFolders;
struct ExportItem;
struct ExportSnapshot;

// The names in the folders of an export directory as a run sees them: the entries on the
// disk (each folder listed once, when first asked about), the record's names, and the names
// this run has given. A name is free in a folder when none of these matches it, letter case
// aside (decided by the listing, not by the file system's type: NTFS mounted on Linux tells
// case apart, exFAT does not). Folders are paths of names below the export directory.
// Every folder is reached from the held export directory down, each held as it is first
// listed or made: a link (or anything that is not a plain folder) is never gone through, and
// counts as a file at its name.
class FolderNames
{
public:
    // `root` is the export directory held for the run; without it, the directory is held here
    // when it is there (a directory that is not there holds nothing).
    FolderNames(const ExportFiles &fs, std::string exportDirectory, const ExportRecord &record,
                const NameLimit &limit, std::shared_ptr<const HeldFolder> root = nullptr);

    // The folders that `wanted` (valid names from the export directory down) come to: a
    // folder already there under the name, letter case aside, in the spelling it has on the
    // disk; otherwise the name, numbered " (2)", " (3)", ... while a file, a recorded name or
    // a name of this run takes it. A name asked for again, in any case, gets the same folder.
    // Makes no folder.
    QStringList folders(const QStringList &wanted);

    // What stands at a name in a folder, for a new file of this run.
    enum class Use {
        Free,      // nothing: the name is the file's
        Taken,     // a folder, a recorded name, or a name of this run
        UsersFile, // a file that the record does not name: maybe the very copy
    };
    struct Look
    {
        Use use = Use::Free;
        QString name; // as on the disk, for a UsersFile
    };
    Look look(const QStringList &folders, const QString &name);
    // The same for a file of the run's own (a playlist, the errors list): a name kept for
    // such files by reserve() is free for it.
    Look lookOwn(const QStringList &folders, const QString &name);

    // Keeps `name` in the export directory for a file of the run's own: no track or folder
    // gets it.
    void reserve(const QString &name) { m_reserved.insert(name.toCaseFolded()); }

    // Keeps a name for this run, so that no other file or folder of the run gets it.
    void claim(const QStringList &folders, const QString &name);
    // A file of the run is now at this name.
    void placed(const QStringList &folders, const QString &name);
    // True when this run placed a file at `relative`.
    bool placedByRun(const std::string &relative) const
    {
        return m_placed.contains(ExportRecord::folded(relative));
    }

    // The path of a file or folder below the export directory, with the platform's
    // separator; `relative` has "/" between its names.
    std::string path(const std::string &relative) const;
    std::string folderPath(const QStringList &folders) const;
    // "Artist/Album/name".
    static std::string relative(const QStringList &folders, const QString &name);

    // The names of `relative` as the disk spells them (a folder that exists under another
    // letter case is spelt so), or nothing when it is not there.
    std::optional<std::string> onDisk(const std::string &relative);
    // False only when `relative` is known to be absent: its folder was listed (or made by
    // this run) and holds no such name.
    bool mayBePresent(const std::string &relative) const;

    // The held folder of `folders` when it is there (listed, or made by the run); nothing
    // when it is not, or is not a plain folder.
    const HeldFolder *held(const QStringList &folders);
    // Makes the folders of `folders` that are not there yet, from the top, and gives the last
    // one held. Raises PlatformError for a folder that cannot be made or held.
    const HeldFolder &make(const QStringList &folders);
    // What is at `relative` (no link followed: see HeldFolder::status); nothing when nothing
    // is there or its folder is not.
    std::optional<FileStatus> status(const std::string &relative);

    // Lists the folders into which the run writes: its leftover temporary files
    // (".sondrel-*.part") are removed.
    void clearLeftovers(const QStringList &folders);
    // For a run that is only shown: the leftovers stay where they are.
    void keepLeftovers() { m_keepLeftovers = true; }

private:
    struct Entry
    {
        QString name;
        bool folder = false;
    };
    struct Folder
    {
        bool listed = false;
        bool leftoversCleared = false;
        QHash<QString, std::vector<Entry>> entries; // by case-folded name
        QSet<QString> claimed;                      // case-folded
        QHash<QString, QString> subfolders;         // given, by case-folded wanted name
        std::shared_ptr<const HeldFolder> held;     // when it is there
    };
    Folder &folder(const QStringList &path);
    const Folder *listedFolder(const QStringList &path) const;

    const ExportFiles &m_fs;
    std::string m_exportDirectory;
    const ExportRecord &m_record;
    NameLimit m_limit;
    std::shared_ptr<const HeldFolder> m_root;
    bool m_keepLeftovers = false;
    QSet<QString> m_reserved;
    QSet<QString> m_placed;                        // case-folded paths
    std::unordered_map<QString, Folder> m_folders; // by the case-folded path, "/" between names
};

// Decides, for every item of the snapshot, what the run does with it and under which name,
// from the export directory's record and the files there (see ExportStep), and returns the
// bytes the run will write. Leftover temporary files in the folders the run writes to are
// removed. Looks at a source on the player only where the decision needs it: a recorded
// copy to compare with, a file of the user's at the name, or a drive with a file-size limit.
std::uint64_t planExport(const FileSystem &fs, ExportSnapshot &snapshot, const ExportRecord &record,
                         FolderNames &names, CaseInsensitiveFolders &playerFolders);

// Gives `item` the first name from its number `first` on that is free in its folders, or
// that a file of the user's takes which is as large as the item's source (`source` looks
// at it), to compare; sets the item's name, number and step (Copy or Compare) and claims
// the name.
void takeFreeName(FolderNames &names, const NameLimit &limit, ExportItem &item, int first,
                  const std::function<const std::optional<FileStatus> &()> &source);

// The bytes a run of the planned snapshot writes: the sources of its copies and of the
// copies it replaces, as looked at (else as the database gives them).
std::uint64_t bytesToWrite(const ExportSnapshot &snapshot);

// The reason of a track too large for the export drive.
QString tooLargeReason();

} // namespace sondrel
