// Links every Windows implementation into one program, so that a missing symbol shows.
#include "filesystem.h"
#include "process.h"
#include "shell.h"

int wmain()
{
    auto fs = sondrel::createFileSystem();
    auto starter = sondrel::createProcessStarter();
    const auto defaults = sondrel::platformDefaults();
    auto shell = sondrel::createShell();
    const auto layout = sondrel::installLayout();
    const auto registration = sondrel::registrationCommand(layout.gridControlFile);
    return fs && starter && shell && !defaults.playerDrive.empty() &&
                   !registration.program.empty() && !sondrel::currentDirectory().empty()
               ? 0
               : 1;
}
