#include "startoptions.h"

#include "frmmain.h"
#include "keptsettings.h"
#include "startupsettings.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>

namespace sondrel {

namespace {

const QString PlayerOption = QStringLiteral("player");
const QString ToOption = QStringLiteral("to");
const QString SettingsOption = QStringLiteral("settings");

} // namespace

void addStartOptions(QCommandLineParser &parser)
{
    parser.setApplicationDescription(
        QStringLiteral("Copies sound files off a portable music player."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOptions({
        {PlayerOption,
         QStringLiteral("The player: a mount point, or any folder that holds iPod_Control."),
         QStringLiteral("PATH")},
        {ToOption, QStringLiteral("The export directory for this run."), QStringLiteral("DIR")},
        {SettingsOption,
         QStringLiteral("Keep the settings in this file instead of the user's own."),
         QStringLiteral("FILE")},
    });
}

bool asksForTextOnly(const QStringList &arguments)
{
    static const QStringList textOptions = {
        QStringLiteral("-h"),         QStringLiteral("--help"), QStringLiteral("-?"),
        QStringLiteral("--help-all"), QStringLiteral("-v"),     QStringLiteral("--version"),
    };
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        if (arguments[i] == QLatin1String("--"))
            break;
        if (textOptions.contains(arguments[i]))
            return true;
    }
    return false;
}

StartOptions startOptions(const QCommandLineParser &parser)
{
    StartOptions options;
    options.player = folderFromCommandLine(parser.value(PlayerOption));
    options.exportDir = folderFromCommandLine(parser.value(ToOption));
    if (const QString file = parser.value(SettingsOption); !file.isEmpty())
        options.settingsFile = QFileInfo(file).absoluteFilePath();
    return options;
}

std::unique_ptr<KeptSettings> keptSettingsFor(const StartOptions &options)
{
    return options.settingsFile.isEmpty() ? std::make_unique<KeptSettings>()
                                          : std::make_unique<KeptSettings>(options.settingsFile);
}

void applyStartOptions(FrmMain &window, const StartOptions &options)
{
    if (!options.player.isEmpty())
        window.state().setPlayerDrive(options.player);
    if (!options.exportDir.isEmpty())
        window.state().setExportDirectory(options.exportDir);
}

} // namespace sondrel
