// Links every Windows implementation into one program, so that a missing symbol shows.
#include "filesystem.h"
#include "process.h"

int wmain()
{
    auto fs = sondrel::createFileSystem();
    auto starter = sondrel::createProcessStarter();
    const auto defaults = sondrel::platformDefaults();
    return fs && starter && !defaults.playerDrive.empty() ? 0 : 1;
}
