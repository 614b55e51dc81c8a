#pragma once

// The file-system service on Windows, whose members are spread over the *_win.cpp files by
// what they serve. Included only by those files.

#include "filesystem.h"

namespace sondrel {

class WinFileSystem : public FileSystem
{
public:
    // drives_win.cpp
    std::vector<Drive> drives() const override;
    std::string driveRoot(const Drive &drive) const override;
    std::string driveOf(const std::string &path) const override;
    std::uint64_t availableSpace(const std::string &path) const override;
    std::optional<std::uint64_t> fileSizeLimit(const std::string &path) const override;

    // heldfolder_win.cpp
    std::unique_ptr<HeldFolder> holdFolder(const std::string &path) const override;

    // openwithin_win.cpp
    std::vector<std::uint8_t> readFileWithin(const std::string &folder,
                                             const std::string &path) const override;
    std::vector<std::uint8_t> readFilePart(const std::string &folder, const std::string &path,
                                           std::uint64_t offset, std::size_t size) const override;

    // rootfolder_win.cpp
    void replaceFile(const std::string &from, const std::string &to) const override;
    bool renameOrCopy(const std::string &source, const std::string &destination) const override;
    RootFolderCheck rootFolder(const std::string &path) const override;

    // filesystem_win.cpp
    bool fileExists(const std::string &path) const override;
    bool folderExists(const std::string &path) const override;
    Staging stageCopy(const std::string &source, const std::string &destination,
                      const CopyOptions &options) const override;
    Staging stageBytes(const std::string &destination, const void *data,
                       std::size_t size) const override;
    bool sameContents(const std::string &a, const std::string &b) const override;
    std::optional<FileIdentity> identity(const std::string &path) const override;
    void deleteFile(const std::string &path) const override;
    void createFolder(const std::string &path) const override;
    std::vector<std::string> listFolder(const std::string &path) const override;
    std::vector<FolderEntry> listEntries(const std::string &path) const override;
    std::optional<FileStatus> status(const std::string &path) const override;
    std::unique_ptr<LockedFile> lockFile(const std::string &path) const override;
    std::vector<std::uint8_t> readFile(const std::string &path) const override;
    NewFile createNewFile(const std::string &path) const override;
    std::unique_ptr<OutputFile> createFile(const std::string &path) const override;
    std::string systemFolder() const override;
    std::string musicFolder() const override;
    std::string homeFolder() const override;
    bool folderWritable(const std::string &path) const override;
    char separator() const override { return '\\'; }
    NameLimit nameLimit() const override { return {NameUnit::Utf16Units, 255}; }
};

} // namespace sondrel
