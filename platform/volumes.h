#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace sondrel {

// Drive types as the drive list reports them. The programs act on Removable and
// Fixed only; every other value is passed over.
enum class DriveType {
    Unknown = 0,
    Removable = 1,
    Fixed = 2,
    Network = 3,
    Optical = 4,
    RamDisk = 5,
};

struct Drive
{
    DriveType type = DriveType::Unknown;
    std::string path; // "C:" on Windows; the mount point ("/" or "/media/ipod") on Linux
};

// The largest file that FAT12, FAT16 and FAT32 take: 4 GiB - 1.
inline constexpr std::uint64_t FatFileSizeLimit = 0xFFFFFFFFull;

// The machine's drives and what a drive holds room for: the drive dialog and start-up list
// the drives, the export asks for the free space and the largest file of its own drive.
class Volumes
{
public:
    virtual ~Volumes() = default;

    // The machine's drives, in the platform's own order, each once.
    virtual std::vector<Drive> drives() const = 0;
    // The drive a setting is built from: the drive's path followed by one separator.
    virtual std::string driveRoot(const Drive &drive) const = 0;

    // The drive that holds the path: "C:" on Windows, the mount point on Linux.
    virtual std::string driveOf(const std::string &path) const = 0;
    // Bytes free for the caller on the drive that holds the path.
    virtual std::uint64_t availableSpace(const std::string &path) const = 0;
    // The largest file the file system that holds the path takes: 4 GiB - 1 on FAT12, FAT16
    // and FAT32 (statfs; GetVolumeInformationW); nothing where files are not limited so
    // (exFAT, NTFS, ext4...) or the file system cannot be asked.
    virtual std::optional<std::uint64_t> fileSizeLimit(const std::string &path) const = 0;
};

} // namespace sondrel
