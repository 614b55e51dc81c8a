#include "opendirectory.h"

#include "frmmain.h"
#include "messages.h"
#include "process.h"

namespace sondrel {

void openExportDirectory(FrmMain &window)
{
    runGuarded(&window, [&] {
        const CommandLine command =
            fileManagerCommand(window.state().exportDirectory().toStdString());
        if (const std::unique_ptr<ProcessStarter> starter = window.services().processStarter())
            starter->startDetached(command.program, command.arguments, WindowStyle::Normal);
    });
}

} // namespace sondrel
