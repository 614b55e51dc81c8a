// What the export's record and copies need of the Windows layer: placing a copy without
// replacing, its source's time, the locked record that another open cannot take, the
// hidden attribute, and the file-size limit of FAT drives.
#include "filesystem.h"
#include "winsupport.h"

#include <doctest.h>

#include <algorithm>
#include <cstring>
#include <vector>

using namespace sondrel;
using namespace sondrel::test;

namespace {

DWORD attributesOf(const std::string &path)
{
    return GetFileAttributesW(wide(path).c_str());
}

// Stages `bytes` for `destination` and flushes them.
std::unique_ptr<StagedCopy> flushed(const FileSystem &fs, const std::string &destination,
                                    const std::string &bytes)
{
    Staging staging = fs.stageBytes(destination, bytes.data(), bytes.size());
    REQUIRE(staging.copy);
    REQUIRE(staging.copy->flush().copied());
    return std::move(staging.copy);
}

} // namespace

TEST_CASE("placing without replacing: a taken name keeps its file, the copy stays staged")
{
    auto fs = createFileSystem();
    TempFolder temp;
    const std::string taken = temp.file("Song.mp3");
    const std::string folder = temp.file("Folder.mp3");
    writeBytes(taken, "the user's own");
    REQUIRE(CreateDirectoryW(wide(folder).c_str(), nullptr));

    std::unique_ptr<StagedCopy> copy = flushed(*fs, taken, "our copy");
    const std::string temporary = copy->temporaryPath();
    CHECK(copy->rename(taken, false).outcome == CopyOutcome::NameTaken);
    CHECK(copy->rename(folder, false).outcome == CopyOutcome::NameTaken);
    CHECK(readBytes(taken) == "the user's own");
    CHECK(readBytes(temporary) == "our copy");
    const std::string free = temp.file("Song (2).mp3");
    CHECK(copy->rename(free, false).copied());
    CHECK(readBytes(free) == "our copy");
    CHECK((attributesOf(free) & FILE_ATTRIBUTE_HIDDEN) == 0);
    CHECK(readBytes(temporary) == std::nullopt);

    // Our own file is replaced when asked.
    std::unique_ptr<StagedCopy> again = flushed(*fs, free, "our new copy");
    CHECK(again->rename(free, true).copied());
    CHECK(readBytes(free) == "our new copy");
    CHECK(namesIn(temp.path()) ==
          std::vector<std::wstring>{L"Folder.mp3", L"Song (2).mp3", L"Song.mp3"});
}

TEST_CASE("a copy carries its source's modification time; status and entries tell it")
{
    auto fs = createFileSystem();
    TempFolder temp;
    const std::string source = temp.file("source.mp3");
    writeBytes(source, "sound");
    HANDLE handle = CreateFileW(wide(source).c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    REQUIRE(handle != INVALID_HANDLE_VALUE);
    SYSTEMTIME system{2004, 7, 0, 14, 12, 30, 42, 0}; // 2004-07-14 12:30:42 UTC
    FILETIME time{};
    REQUIRE(SystemTimeToFileTime(&system, &time));
    REQUIRE(SetFileTime(handle, nullptr, nullptr, &time));
    CloseHandle(handle);
    const FileTime expected = FileTime(1089808242) * 1000000000;

    const std::optional<FileStatus> status = fs->status(source);
    REQUIRE(status);
    CHECK(status->kind == FileStatus::Kind::File);
    CHECK(status->size == 5);
    CHECK(status->modified == expected);

    const std::string destination = temp.file("copy.mp3");
    Staging staging = fs->stageCopy(source, destination);
    REQUIRE(staging.copy);
    const CopyResult flushedCopy = staging.copy->flush(CopyTime::FromSource);
    REQUIRE(flushedCopy.copied());
    CHECK(flushedCopy.sourceModified == expected);
    CHECK(flushedCopy.modified == expected);
    CHECK(staging.copy->rename(destination, false).copied());
    CHECK(fs->status(destination)->modified == expected);
    CHECK(fs->status(temp.path())->kind == FileStatus::Kind::Folder);
    CHECK_FALSE(fs->status(temp.file("none")));

    std::vector<FolderEntry> entries = fs->listEntries(temp.path());
    REQUIRE(CreateDirectoryW(wide(temp.file("sub")).c_str(), nullptr));
    entries = fs->listEntries(temp.path());
    std::sort(entries.begin(), entries.end(),
              [](const FolderEntry &a, const FolderEntry &b) { return a.name < b.name; });
    REQUIRE(entries.size() == 3);
    CHECK(entries[0].name == "copy.mp3");
    CHECK_FALSE(entries[0].folder);
    CHECK(entries[2].name == "sub");
    CHECK(entries[2].folder);
}

TEST_CASE("a staged copy's bytes are read and changed in place through its own open file")
{
    auto fs = createFileSystem();
    TempFolder temp;
    const std::string source = temp.file("source.mp3");
    writeBytes(source, "0123456789");
    const std::string destination = temp.file("copy.mp3");
    Staging staging = fs->stageCopy(source, destination);
    REQUIRE(staging.copy);
    StagedCopy &copy = *staging.copy;
    char read[16] = {};
    CHECK(copy.readAt(6, read, sizeof read) == 4); // fewer at the end
    CHECK(std::string(read, 4) == "6789");
    copy.writeAt(8, "abcd", 4); // past the end: it grows
    CHECK(copy.size() == 12);
    copy.resize(10);
    CHECK(copy.size() == 10);
    REQUIRE(copy.place().copied());
    CHECK(readBytes(destination) == "01234567ab");
    CHECK(readBytes(source) == "0123456789");
}

TEST_CASE("the record's lock: a second open is refused, and the file is replaced whole")
{
    auto fs = createFileSystem();
    TempFolder temp;
    const std::string record = temp.file(".sondrel-record.tsv");
    {
        std::unique_ptr<LockedFile> first = fs->lockFile(record);
        REQUIRE(first);
        CHECK(first->created());
        CHECK((attributesOf(record) & FILE_ATTRIBUTE_HIDDEN) != 0);
        first->append("line 1\n", 7);
        first->flush();
        CHECK(fs->lockFile(record) == nullptr); // another run into the folder
        first->append("line 2\n", 7);
        const std::vector<std::uint8_t> both = first->read();
        CHECK(std::string(both.begin(), both.end()) == "line 1\nline 2\n");
        // Written anew through a temporary file, hidden again, and the lock given up.
        first->replace("compacted\n", 10);
        CHECK(readBytes(record) == "compacted\n");
        CHECK(namesIn(temp.path()) == std::vector<std::wstring>{L".sondrel-record.tsv"});
        CHECK((attributesOf(record) & FILE_ATTRIBUTE_HIDDEN) != 0);
    }
    std::unique_ptr<LockedFile> again = fs->lockFile(record);
    REQUIRE(again);
    CHECK_FALSE(again->created());
    CHECK(raisedBy([&] { fs->lockFile(temp.path()); }).has_value()); // a folder is no record
}

TEST_CASE("the file-size limit: 4 GiB - 1 on FAT drives, none on NTFS")
{
    auto fs = createFileSystem();
    TempFolder temp;
    for (const std::string &path : {std::string("C:\\"), temp.path(), std::string("E:\\")}) {
        INFO("path ", path);
        wchar_t volume[MAX_PATH + 1] = {};
        REQUIRE(GetVolumePathNameW(wide(path).c_str(), volume, MAX_PATH + 1));
        wchar_t name[MAX_PATH + 1] = {};
        if (!GetVolumeInformationW(volume, nullptr, 0, nullptr, nullptr, nullptr, name,
                                   MAX_PATH + 1)) {
            CHECK_FALSE(fs->fileSizeLimit(path));
            continue;
        }
        const std::wstring system = name;
        INFO("file system ", utf8(system));
        const bool fat =
            system == L"FAT" || system == L"FAT12" || system == L"FAT16" || system == L"FAT32";
        const std::optional<std::uint64_t> limit = fs->fileSizeLimit(path);
        CHECK(limit.has_value() == fat);
        if (limit)
            CHECK(*limit == 0xFFFFFFFFull);
        if (path == "C:\\")
            CHECK(system == L"NTFS");
    }
}

namespace {

// Makes `link` (a new folder) a junction to the folder `target`; false where the system
// cannot make one.
bool makeJunction(const std::string &link, const std::string &target)
{
    if (!CreateDirectoryW(wide(link).c_str(), nullptr))
        return false;
    HANDLE handle = CreateFileW(wide(link).c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    const std::wstring print = wide(target);
    const std::wstring substitute = L"\\??\\" + print;
    // The mount-point reparse data: tag, length, reserved; then the offsets and lengths of
    // the two names (in bytes, without their NULs) and the names, each ended by a NUL.
    std::vector<unsigned char> data(16 + (substitute.size() + print.size() + 2) * 2);
    const auto put16 = [&](std::size_t at, std::size_t value) {
        data[at] = (unsigned char)(value & 0xff);
        data[at + 1] = (unsigned char)(value >> 8);
    };
    const DWORD tag = IO_REPARSE_TAG_MOUNT_POINT;
    std::memcpy(data.data(), &tag, 4);
    put16(4, data.size() - 8);
    put16(8, 0);
    put16(10, substitute.size() * 2);
    put16(12, (substitute.size() + 1) * 2);
    put16(14, print.size() * 2);
    std::memcpy(data.data() + 16, substitute.c_str(), (substitute.size() + 1) * 2);
    std::memcpy(data.data() + 16 + (substitute.size() + 1) * 2, print.c_str(),
                (print.size() + 1) * 2);
    DWORD returned = 0;
    const bool made = DeviceIoControl(handle, FSCTL_SET_REPARSE_POINT, data.data(),
                                      DWORD(data.size()), nullptr, 0, &returned, nullptr);
    CloseHandle(handle);
    return made;
}

} // namespace

TEST_CASE("a junction at a folder's name in a held folder is never gone through")
{
    auto fs = createFileSystem();
    TempFolder temp;
    const std::string outside = temp.file("outside");
    const std::string exportDir = temp.file("export");
    REQUIRE(CreateDirectoryW(wide(outside).c_str(), nullptr));
    REQUIRE(CreateDirectoryW(wide(exportDir).c_str(), nullptr));
    writeBytes(outside + "\\Song.mp3", "someone else's");
    if (!makeJunction(exportDir + "\\Band", outside)) {
        MESSAGE("this system makes no junction: the case is not run");
        return;
    }
    const std::unique_ptr<HeldFolder> held = fs->holdFolder(exportDir);
    CHECK(!held->folder("Band"));
    CHECK(held->status("Band")->kind == FileStatus::Kind::Other);
    CHECK(raisedBy([&] { held->makeFolder("Band"); }));
    const std::vector<FolderEntry> entries = held->entries();
    REQUIRE(entries.size() == 1);
    CHECK(!entries[0].folder);
    CHECK(!held->removeFile("Band", [](const FileStatus &) { return true; }));
    // A copy is never renamed over it: the name is taken.
    Staging staging = held->stageBytes("Band", "ours", 4);
    REQUIRE(staging.copy);
    REQUIRE(staging.copy->flush().copied());
    CHECK(staging.copy->rename(exportDir + "\\Band", true).outcome == CopyOutcome::NameTaken);
    CHECK(readBytes(outside + "\\Song.mp3") == "someone else's");
    CHECK(namesIn(outside) == std::vector<std::wstring>{L"Song.mp3"});
}
