#include "filesystem.h"
#include "winsupport.h"

#include <doctest.h>

#include <sstream>

using namespace sondrel;
using namespace sondrel::test;

namespace {

// The type the drive list gives for each answer of GetDriveTypeW.
DriveType expectedType(UINT win32Type)
{
    switch (win32Type) {
    case DRIVE_REMOVABLE:
        return DriveType::Removable;
    case DRIVE_FIXED:
        return DriveType::Fixed;
    case DRIVE_REMOTE:
        return DriveType::Network;
    case DRIVE_CDROM:
        return DriveType::Optical;
    case DRIVE_RAMDISK:
        return DriveType::RamDisk;
    default:
        return DriveType::Unknown;
    }
}

} // namespace

TEST_CASE("the drive list: every drive letter once, in letter order, with its type and root")
{
    auto fs = createFileSystem();
    const auto drives = fs->drives();
    std::string letters;
    bool sawC = false;
    for (const Drive &drive : drives) {
        INFO("drive ", drive.path);
        REQUIRE(drive.path.size() == 2);
        CHECK(drive.path[1] == ':');
        letters += drive.path[0];
        const std::string root = fs->driveRoot(drive);
        CHECK(root == drive.path + "\\");
        CHECK(int(drive.type) == int(expectedType(GetDriveTypeW(wide(root).c_str()))));
        if (drive.path == "C:") {
            sawC = true;
            CHECK(drive.type == DriveType::Fixed);
            CHECK(fs->folderExists(root));
        }
    }
    CHECK(sawC);
    std::string expected;
    const DWORD mask = GetLogicalDrives();
    for (int i = 0; i < 26; ++i)
        if (mask & (1u << i))
            expected += char('A' + i);
    CHECK(letters == expected);

    // The wine prefix of the test command has drives of other kinds too ("E:=1 R:=4":
    // a removable drive where the player is looked for, an optical drive).
    std::istringstream given(environment(L"SONDREL_TEST_DRIVES"));
    for (std::string entry; given >> entry;) {
        INFO("given drive ", entry);
        const std::string path = entry.substr(0, 2);
        const int type = std::stoi(entry.substr(3));
        bool found = false;
        for (const Drive &drive : drives) {
            if (drive.path == path) {
                found = true;
                CHECK(int(drive.type) == type);
            }
        }
        CHECK(found);
    }
}

TEST_CASE("free space is what the caller may use on the drive of the path, not its size")
{
    auto fs = createFileSystem();
    TempFolder temp;
    REQUIRE(temp.path().rfind("C:\\", 0) == 0);
    CHECK(fs->driveOf(temp.path()) == "C:");

    const std::uint64_t available = fs->availableSpace(temp.file("export\\"));
    ULARGE_INTEGER forCaller{}, total{}, free{};
    REQUIRE(GetDiskFreeSpaceExW(L"C:\\", &forCaller, &total, &free));
    // Other programs write to the same disk meanwhile: allow for some change.
    const std::uint64_t slack = 256ull << 20;
    const std::uint64_t difference = available > forCaller.QuadPart
                                         ? available - forCaller.QuadPart
                                         : forCaller.QuadPart - available;
    CHECK(difference < slack);
    if (forCaller.QuadPart + slack < total.QuadPart)
        CHECK(available < total.QuadPart);
}
