// Links every Windows implementation into one program, so that a missing symbol shows.
#include "console.h"
#include "filesystem.h"
#include "process.h"
#include "shell.h"

int wmain()
{
    auto fs = sondrel::createFileSystem();
    auto starter = sondrel::createProcessStarter();
    auto desktopStarter = sondrel::createDesktopStarter();
    const auto defaults = sondrel::platformDefaults();
    auto shell = sondrel::createShell();
    const auto layout = sondrel::installLayout();
    sondrel::catchInterruptions();
    // The grid library is a plain DLL: nothing registers it.
    const auto registration = sondrel::registrationCommand(layout.gridControlFile);
    return fs && starter && desktopStarter && shell && !defaults.playerDrive.empty() &&
                   !registration && !sondrel::currentDirectory().empty() &&
                   !sondrel::interruptionRequested()
               ? 0
               : 1;
}
