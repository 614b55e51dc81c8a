#pragma once

#include "namefields.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace sondrel {

// How sondrel-export ends: its exit status.
enum ExitCode {
    ExitDone = 0,          // every selected track exported or already there, or none selected
    ExitPassedOver = 1,    // some passed over, or a playlist or tags not written
    ExitStopped = 2,       // stopped by the export drive, or too little space before starting
    ExitUsage = 64,        // wrong usage, or an unknown playlist
    ExitNoPlayer = 66,     // no player's database at the player's path
    ExitCannotWrite = 73,  // the export directory cannot be made or written
    ExitDamaged = 74,      // the player's database is damaged
    ExitPlayerGone = 75,   // the player stopped answering during the run
    ExitInterrupted = 130, // Ctrl+C, Ctrl+Break or SIGTERM
};

// What the command line asks for. The paths, names and options not given are taken from
// the window's kept settings, else from its start-up defaults, by the run.
struct CommandOptions
{
    enum class Mode { Export, List, Help, Version };
    enum class Format { Tsv, Json };

    Mode mode = Mode::Export;
    Format format = Format::Tsv;
    std::optional<QString> player;   // as given
    std::optional<QString> to;       // as given
    std::optional<QString> settings; // a file of kept settings instead of the user's own
    QString find;                    // words; empty finds every track
    QStringList playlists;           // titles, exactly as given
    std::optional<NameFields> names;
    // Each export option as given: on, off (--no-...), or not given.
    std::optional<bool> artistAlbumFolders;
    std::optional<bool> writePlaylists;
    std::optional<bool> historyTags;
    std::optional<bool> libraryFile;
    std::optional<bool> rescue;
    std::optional<bool> covers;
    bool dryRun = false;
    bool quiet = false;
};

// The result of reading the arguments: the options, or why they are wrong (one line).
struct ParsedCommand
{
    CommandOptions options;
    QString error; // empty when the arguments are right
    QString help;  // the full help text
    QString usage; // the usage line and where the help is
};

// Reads the arguments (the program's name first, as QCoreApplication::arguments() gives
// them).
ParsedCommand parseCommand(const QStringList &arguments);

// The name fields of "--names": the labels given, in order, chosen (any letter case), then
// the composer's other fields, not chosen. Nothing when a label is unknown or repeated, or
// "Title" is missing; `error` then says why.
std::optional<NameFields> nameFieldsFromList(const QString &list, QString &error);

// The options as the run uses them: each one given stands, the others as `kept`.
ExportOptions effectiveOptions(const CommandOptions &command, const ExportOptions &kept);

} // namespace sondrel
