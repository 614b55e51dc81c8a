#pragma once

#include <QString>
#include <QStringList>

#include <memory>

class QCommandLineParser;

namespace sondrel {

class FrmMain;
class KeptSettings;

// What Sondrel's command line sets at start; an empty member leaves start-up's own choice.
//   --player PATH    the player drive: a mount point or any folder that holds a player
//                    (a player copied to disk, a mounted disk image)
//   --to DIR         the export directory for this run (not kept)
//   --settings FILE  kept settings in a file of their own instead of the user's (the demo)
struct StartOptions
{
    QString player;       // absolute, in the platform's form, ending with the separator
    QString exportDir;    // the same
    QString settingsFile; // absolute
};

// Declares the options (and --help and --version) on `parser`.
void addStartOptions(QCommandLineParser &parser);
// Whether the command line asks for the help or the version text, which Sondrel prints
// without opening a window, so without a display (a terminal over ssh, help2man).
bool asksForTextOnly(const QStringList &arguments);
// The options of a parser that has parsed the command line.
StartOptions startOptions(const QCommandLineParser &parser);

// The kept settings the options name: the user's own, or those of the given file.
std::unique_ptr<KeptSettings> keptSettingsFor(const StartOptions &options);
// Sets the window's player drive and export directory from the options.
void applyStartOptions(FrmMain &window, const StartOptions &options);

} // namespace sondrel
