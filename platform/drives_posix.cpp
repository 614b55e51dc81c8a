#include "filesystem_posix.h"

#include "posix_files.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include <dirent.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/statvfs.h>

namespace sondrel {

using posix::isDirectory;
using posix::raise;
using posix::stripTrailingSlashes;

namespace {

// Undoes the octal escapes (\040 for a blank, \011, \012, \134) of the mount table.
std::string unescapeMountField(const std::string &field)
{
    std::string out;
    out.reserve(field.size());
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size() &&
            std::all_of(field.begin() + long(i) + 1, field.begin() + long(i) + 4,
                        [](char c) { return c >= '0' && c <= '7'; })) {
            out +=
                char((field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 + (field[i + 3] - '0'));
            i += 3;
        } else {
            out += field[i];
        }
    }
    return out;
}

std::string readSmallFile(const std::string &path)
{
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

bool readsOne(const std::string &path)
{
    const std::string text = readSmallFile(path);
    return !text.empty() && text[0] == '1';
}

// True when something other than a folder is at the path (a missing path is not).
bool isNonFolder(const std::string &path)
{
    struct stat st
    {
    };
    return ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

} // namespace

std::vector<MountEntry> parseMountTable(const std::string &text)
{
    std::vector<MountEntry> entries;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        MountEntry entry;
        if (!(fields >> entry.source >> entry.mountPoint >> entry.type))
            continue;
        entry.source = unescapeMountField(entry.source);
        entry.mountPoint = unescapeMountField(entry.mountPoint);
        entries.push_back(std::move(entry));
    }
    return entries;
}

PosixFileSystem::PosixFileSystem(std::string mountTable, std::string sysfsRoot,
                                 std::string systemFolder)
    : m_mountTable(std::move(mountTable)), m_sysfsRoot(std::move(sysfsRoot)),
      m_systemFolder(std::move(systemFolder))
{
}

const std::vector<MountEntry> &PosixFileSystem::mounts() const
{
    if (!m_mounts)
        m_mounts = parseMountTable(readSmallFile(m_mountTable));
    return *m_mounts;
}

namespace {

// What is mounted but is no drive to a user: read-only images (snap packages and other
// squashfs or erofs images), the boot partitions and the mounts of snap's own machinery.
// Decided by type and place only; a read-only mount (a player formatted on a Mac, a disk
// image under /media) is still a drive.
bool isSystemMount(const MountEntry &entry)
{
    if (entry.type == "squashfs" || entry.type == "erofs")
        return true;
    const std::string mp = stripTrailingSlashes(entry.mountPoint);
    for (const std::string prefix : {"/boot", "/snap", "/var/snap", "/var/lib/snapd"}) {
        if (mp == prefix || mp.rfind(prefix + "/", 0) == 0)
            return true;
    }
    return false;
}

} // namespace

bool PosixFileSystem::isRemovable(const MountEntry &entry) const
{
    const std::string &mp = entry.mountPoint;
    if (mp.rfind("/media/", 0) == 0 || mp.rfind("/run/media/", 0) == 0)
        return true;

    // The block device's own name ("sdb1"); a link such as /dev/disk/by-label/X is followed.
    std::string device = entry.source;
    if (char *real = ::realpath(device.c_str(), nullptr)) {
        device = real;
        std::free(real);
    }
    const std::string name = device.substr(device.rfind('/') + 1);
    if (name.empty())
        return false;

    const std::string block = m_sysfsRoot + "/block/";
    if (readsOne(block + name + "/removable"))
        return true;
    // A partition: its folder sits inside the folder of the whole disk.
    if (::DIR *dir = ::opendir(block.c_str())) {
        bool removable = false;
        while (const dirent *disk = ::readdir(dir)) {
            const std::string diskName = disk->d_name;
            if (diskName == "." || diskName == "..")
                continue;
            if (isDirectory(block + diskName + "/" + name)) {
                removable = readsOne(block + diskName + "/removable");
                break;
            }
        }
        ::closedir(dir);
        return removable;
    }
    return false;
}

std::vector<Drive> PosixFileSystem::drives() const
{
    std::vector<Drive> result;
    for (const MountEntry &entry : mounts()) {
        if (entry.source.rfind("/dev/", 0) != 0 || isSystemMount(entry))
            continue;
        // A single file mounted over another (containers mount /etc/hosts so) is no drive:
        // a drive's root is a folder.
        if (isNonFolder(entry.mountPoint))
            continue;
        Drive drive;
        drive.path = stripTrailingSlashes(entry.mountPoint);
        if (entry.type == "iso9660" || entry.type == "udf")
            drive.type = DriveType::Optical;
        else if (isRemovable(entry))
            drive.type = DriveType::Removable;
        else
            drive.type = DriveType::Fixed;
        // A mount point mounted over again keeps its place; the later mount is what shows.
        auto same = std::find_if(result.begin(), result.end(),
                                 [&](const Drive &d) { return d.path == drive.path; });
        if (same != result.end())
            *same = drive;
        else
            result.push_back(drive);
    }
    return result;
}

std::string PosixFileSystem::driveRoot(const Drive &drive) const
{
    const std::string path = stripTrailingSlashes(drive.path);
    return path == "/" ? path : path + "/";
}

std::string PosixFileSystem::driveOf(const std::string &path) const
{
    std::string target = path;
    if (char *real = ::realpath(path.c_str(), nullptr)) {
        target = real;
        std::free(real);
    }
    std::string best = "/";
    for (const MountEntry &entry : mounts()) {
        const std::string mp = stripTrailingSlashes(entry.mountPoint);
        const bool holds =
            mp == "/" || target == mp ||
            (target.rfind(mp, 0) == 0 && target.size() > mp.size() && target[mp.size()] == '/');
        if (holds && mp.size() >= best.size())
            best = mp;
    }
    return best;
}

std::uint64_t PosixFileSystem::availableSpace(const std::string &path) const
{
    struct statvfs st
    {
    };
    if (::statvfs(path.c_str(), &st) != 0)
        raise(errno, path);
    return std::uint64_t(st.f_bavail) * std::uint64_t(st.f_frsize);
}

std::optional<std::uint64_t> PosixFileSystem::fileSizeLimit(const std::string &path) const
{
    // FAT12, FAT16 and FAT32 (the "msdos" and "vfat" drivers) share one magic number; exFAT
    // has its own and no such limit.
    constexpr long MsdosMagic = 0x4d44;
    struct statfs st
    {
    };
    if (::statfs(path.c_str(), &st) != 0 || long(st.f_type) != MsdosMagic)
        return std::nullopt;
    return FatFileSizeLimit;
}

} // namespace sondrel
