#pragma once

#include "filesystem.h"

#include <optional>
#include <string>
#include <vector>

namespace sondrel {

// One line of the mount table.
struct MountEntry
{
    std::string source;     // "/dev/sdb1", "tmpfs", "server:/share"
    std::string mountPoint; // unescaped
    std::string type;       // "ext4", "vfat", "iso9660"
};

// The user's own folders, without trailing separators; empty when unknown.
struct UserFolders
{
    std::string home;
    std::string music;
};

// The user's folders as the desktop names them: the home folder, and the music folder of
// XDG_MUSIC_DIR in $XDG_CONFIG_HOME/user-dirs.dirs ($HOME/Music when it names none).
UserFolders desktopUserFolders();

// Parses a mount table in the form of /proc/self/mounts (octal escapes undone).
std::vector<MountEntry> parseMountTable(const std::string &text);

// The file-system service on Linux. The mount table and the sysfs tree are read from
// the given places, so that a test can describe a whole machine.
class PosixFileSystem : public FileSystem
{
public:
    explicit PosixFileSystem(std::string mountTable = "/proc/self/mounts",
                             std::string sysfsRoot = "/sys",
                             std::string systemFolder = "/usr/local/lib");

    std::vector<Drive> drives() const override;
    std::string driveRoot(const Drive &drive) const override;
    bool fileExists(const std::string &path) const override;
    bool folderExists(const std::string &path) const override;
    Staging stageCopy(const std::string &source, const std::string &destination,
                      const CopyOptions &options = {}) const override;
    Staging stageBytes(const std::string &destination, const void *data,
                       std::size_t size) const override;
    void replaceFile(const std::string &from, const std::string &to) const override;
    bool renameOrCopy(const std::string &source, const std::string &destination) const override;
    RootFolderCheck rootFolder(const std::string &path) const override;
    std::unique_ptr<HeldFolder> holdFolder(const std::string &path) const override;
    bool sameContents(const std::string &a, const std::string &b) const override;
    std::optional<FileIdentity> identity(const std::string &path) const override;
    void deleteFile(const std::string &path) const override;
    void createFolder(const std::string &path) const override;
    std::vector<std::string> listFolder(const std::string &path) const override;
    std::vector<FolderEntry> listEntries(const std::string &path) const override;
    std::optional<FileStatus> status(const std::string &path) const override;
    std::unique_ptr<LockedFile> lockFile(const std::string &path) const override;
    std::vector<std::uint8_t> readFile(const std::string &path) const override;
    std::vector<std::uint8_t> readFilePart(const std::string &folder, const std::string &path,
                                           std::uint64_t offset, std::size_t size) const override;
    std::unique_ptr<OutputFile> createFile(const std::string &path) const override;
    NewFile createNewFile(const std::string &path) const override;
    std::vector<std::uint8_t> readFileWithin(const std::string &folder,
                                             const std::string &path) const override;
    std::string driveOf(const std::string &path) const override;
    std::uint64_t availableSpace(const std::string &path) const override;
    std::optional<std::uint64_t> fileSizeLimit(const std::string &path) const override;
    std::string systemFolder() const override;
    std::string musicFolder() const override;
    std::string homeFolder() const override;
    bool folderWritable(const std::string &path) const override;
    char separator() const override { return '/'; }
    NameLimit nameLimit() const override { return {NameUnit::Utf8Bytes, 255}; }

    // The folders that homeFolder() and musicFolder() give. A service knows none until they
    // are set; the machine's own service (createFileSystem) has the desktop's.
    void setUserFolders(UserFolders folders) { m_userFolders = std::move(folders); }

private:
    // The mount table, read once per service object (objects live for one action).
    const std::vector<MountEntry> &mounts() const;
    bool isRemovable(const MountEntry &entry) const;

    std::string m_mountTable;
    std::string m_sysfsRoot;
    std::string m_systemFolder;
    UserFolders m_userFolders;
    mutable std::optional<std::vector<MountEntry>> m_mounts;
};

} // namespace sondrel
