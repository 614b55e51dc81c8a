#pragma once

// The file layer of both programs: one header per part its users need, and FileSystem,
// the whole service.

#include "exportfiles.h"
#include "filepaths.h"
#include "installfiles.h"
#include "personalfolders.h"
#include "playerfiles.h"
#include "volumes.h"

#include <memory>
#include <string>

namespace sondrel {

// The file-system service of both programs: every part above in one, as the machine's own
// service and the tests' services implement it. Code that needs only a part of it takes
// that part (the reader PlayerFiles, the installer InstallFiles, the drive dialog Volumes);
// a window holds the whole service and hands each part on.
class FileSystem : public Volumes,
                   public PersonalFolders,
                   public PlayerFiles,
                   public ExportFiles,
                   public InstallFiles
{
};

// The machine's own file-system service.
std::unique_ptr<FileSystem> createFileSystem();

// The settings every run starts from, before the drives are looked at.
struct PlatformDefaults
{
    std::string playerDrive;      // E:\ on Windows
    std::string exportDirectory;  // C:\ on Windows
    std::string installDirectory; // C:\Program Files\Sondrel\ on Windows
};

PlatformDefaults platformDefaults();

} // namespace sondrel
