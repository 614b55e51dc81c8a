#pragma once

#include "filepaths.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace sondrel {

// The description of a file that is reached only through a link that leads out of the
// folder it is read from (the player's): such a file is never opened.
inline constexpr const char *LinkOutOfFolder = "a link out of the player";

// A file made new by PlayerFiles::createNewFile, with the identity it was made with; no file
// when the name was taken.
struct NewFile
{
    std::unique_ptr<OutputFile> file;
    FileIdentity identity;
};

// What the check for sound files needs: the player's folders and files, read without
// leaving the player, and the work files it makes new beside the export.
class PlayerFiles : public virtual FilePaths
{
public:
    // The names of the entries of a folder (files and folders, without "." and ".."),
    // in no particular order.
    virtual std::vector<std::string> listFolder(const std::string &path) const = 0;
    // The same with whether each is a folder.
    virtual std::vector<FolderEntry> listEntries(const std::string &path) const = 0;
    // What is at `path` (links followed): its kind, size and modification time; nothing
    // when there is nothing or it cannot be looked at.
    virtual std::optional<FileStatus> status(const std::string &path) const = 0;

    // The whole file, read as raw bytes.
    virtual std::vector<std::uint8_t> readFile(const std::string &path) const = 0;
    // At most `size` bytes from `offset` (fewer at its end) of the file at `path`, which lies
    // in `folder`, opened as readFileWithin opens it. Raises PlatformError as that does.
    // This default reads the whole file.
    virtual std::vector<std::uint8_t> readFilePart(const std::string &folder,
                                                   const std::string &path, std::uint64_t offset,
                                                   std::size_t size) const;
    // Creates a new file for writing, never opening what is at `path` already: a name taken
    // by anything (a file, a folder, a link, even one that leads nowhere) gives a NewFile
    // without a file (O_CREAT | O_EXCL | O_NOFOLLOW; CREATE_NEW on Windows). Raises
    // PlatformError for any other failure.
    virtual NewFile createNewFile(const std::string &path) const = 0;
    // The whole file at `path`, which lies in `folder`, read only when it is a regular file
    // reached from `folder` without leaving it: links that stay inside are followed, one that
    // leads out raises PlatformError described as LinkOutOfFolder (openat2 with
    // RESOLVE_BENEATH, or a walk name by name where the kernel lacks it; on Windows the
    // opened file's final path is checked). It is opened without blocking and looked at
    // before it is read: a FIFO, socket or device raises PlatformError too.
    virtual std::vector<std::uint8_t> readFileWithin(const std::string &folder,
                                                     const std::string &path) const = 0;
};

// The entries of the player's folders by their names, the letters A to Z matched without
// regard to case ("ipod_control" is found for "iPod_Control"); each folder is listed once,
// when it is first asked about.
class CaseInsensitiveFolders
{
public:
    explicit CaseInsensitiveFolders(const PlayerFiles &fs) : m_fs(fs) {}

    // The entry of `folder` whose name equals `name` but for letter case (of several
    // spellings, possible where names are case-sensitive, the first in byte order); empty
    // when there is none or the folder cannot be listed.
    std::string find(const std::string &folder, const std::string &name);

private:
    const PlayerFiles &m_fs;
    std::map<std::string, std::unordered_map<std::string, std::string>> m_folders;
};

// The full path of the entry `name` in `folder` as the disk spells it, found as
// CaseInsensitiveFolders finds it; an entry spelled exactly as asked wins. Empty when there
// is none or the folder cannot be read. `folder` may end with the separator.
std::string findEntry(const PlayerFiles &fs, const std::string &folder, const std::string &name);

} // namespace sondrel
