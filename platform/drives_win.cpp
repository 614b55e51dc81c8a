#include "filesystem_win.h"

#include "files_win.h"

namespace sondrel {

using namespace win;

std::vector<Drive> WinFileSystem::drives() const
{
    std::vector<Drive> result;
    wchar_t buffer[512];
    const DWORD length = GetLogicalDriveStringsW(DWORD(std::size(buffer)), buffer);
    for (const wchar_t *root = buffer; root < buffer + length && *root; root += wcslen(root) + 1) {
        Drive drive;
        drive.path = utf8(std::wstring(root, 2)); // "C:"
        switch (GetDriveTypeW(root)) {
        case DRIVE_REMOVABLE:
            drive.type = DriveType::Removable;
            break;
        case DRIVE_FIXED:
            drive.type = DriveType::Fixed;
            break;
        case DRIVE_REMOTE:
            drive.type = DriveType::Network;
            break;
        case DRIVE_CDROM:
            drive.type = DriveType::Optical;
            break;
        case DRIVE_RAMDISK:
            drive.type = DriveType::RamDisk;
            break;
        default:
            drive.type = DriveType::Unknown;
            break;
        }
        result.push_back(drive);
    }
    return result;
}

std::string WinFileSystem::driveRoot(const Drive &drive) const
{
    return drive.path + "\\";
}

// The drive designation: the first two characters of the path, such as "C:".
std::string WinFileSystem::driveOf(const std::string &path) const
{
    return path.substr(0, 2);
}

std::uint64_t WinFileSystem::availableSpace(const std::string &path) const
{
    ULARGE_INTEGER freeForCaller{};
    const std::string root = driveOf(path) + "\\";
    if (!GetDiskFreeSpaceExW(filePath(root).c_str(), &freeForCaller, nullptr, nullptr))
        raiseLastError(root);
    return freeForCaller.QuadPart;
}

std::optional<std::uint64_t> WinFileSystem::fileSizeLimit(const std::string &path) const
{
    const QuietDriveErrors quiet;
    wchar_t volume[MAX_PATH + 1] = {};
    if (!GetVolumePathNameW(filePath(path).c_str(), volume, MAX_PATH + 1))
        return std::nullopt;
    wchar_t system[MAX_PATH + 1] = {};
    if (!GetVolumeInformationW(volume, nullptr, 0, nullptr, nullptr, nullptr, system, MAX_PATH + 1))
        return std::nullopt;
    // "FAT", "FAT12", "FAT16" and "FAT32"; not "exFAT".
    if (std::wstring(system).rfind(L"FAT", 0) != 0)
        return std::nullopt;
    return FatFileSizeLimit;
}

} // namespace sondrel
