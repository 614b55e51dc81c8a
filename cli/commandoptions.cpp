#include "commandoptions.h"

#include <QCommandLineParser>

namespace sondrel {

namespace {

struct OptionFlag
{
    const char *name;
    const char *description;
    std::optional<bool> CommandOptions::*option;
};

const OptionFlag OptionFlags[] = {
    {"folders", "Export into <album artist, else artist>/<album>/ folders.",
     &CommandOptions::artistAlbumFolders},
    {"playlists", "Write one \"<title>.m3u8\" per playlist holding exported tracks.",
     &CommandOptions::writePlaylists},
    {"history-tags", "Write ratings and play counts into the files.", &CommandOptions::historyTags},
    {"library-file", "Write a library file for other players (\"Sondrel Library.xml\").",
     &CommandOptions::libraryFile},
    {"rescue", "Keep what can be read of damaged files (unreadable blocks left silent).",
     &CommandOptions::rescue},
    {"covers", "Put the player's covers into the files that have none.", &CommandOptions::covers},
};

} // namespace

std::optional<NameFields> nameFieldsFromList(const QString &list, QString &error)
{
    const NameFields all = defaultNameFields();
    NameFields chosen;
    std::vector<bool> taken(all.size(), false);
    for (const QString &given : list.split(QLatin1Char(','))) {
        const QString label = given.trimmed();
        std::size_t i = 0;
        while (i < all.size() && all[i].label.compare(label, Qt::CaseInsensitive) != 0)
            ++i;
        if (i == all.size()) {
            QStringList known;
            for (const NameField &field : all)
                known << field.label;
            error = QStringLiteral("unknown name field \"%1\" (the fields are %2)")
                        .arg(label, known.join(QLatin1Char(',')));
            return std::nullopt;
        }
        if (taken[i]) {
            error = QStringLiteral("the name field \"%1\" is given twice").arg(all[i].label);
            return std::nullopt;
        }
        taken[i] = true;
        chosen.push_back({all[i].label, true, all[i].field});
    }
    for (std::size_t i = 0; i < all.size(); ++i) {
        if (!taken[i])
            chosen.push_back({all[i].label, false, all[i].field});
    }
    if (!titleChosen(chosen)) {
        error = QStringLiteral("the names must hold the field \"Title\"");
        return std::nullopt;
    }
    return chosen;
}

ExportOptions effectiveOptions(const CommandOptions &command, const ExportOptions &kept)
{
    ExportOptions options = kept;
    const auto take = [](const std::optional<bool> &given, bool &option) {
        if (given)
            option = *given;
    };
    take(command.artistAlbumFolders, options.artistAlbumFolders);
    take(command.writePlaylists, options.writePlaylists);
    take(command.historyTags, options.historyTags);
    take(command.libraryFile, options.libraryFile);
    take(command.rescue, options.rescue);
    take(command.covers, options.covers);
    return options;
}

ParsedCommand parseCommand(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Copies the sound files off an iPod, or a copy of one in a folder, under readable "
        "names, as Sondrel's window does.\n"
        "Paths, names and options not given are those kept by the window, else its "
        "start-up defaults.\n"
        "Exit status: 0 done (or nothing selected), 1 some tracks passed over, 2 stopped by "
        "the export drive or too little space, 64 wrong usage, 66 not a player, 73 the export "
        "directory cannot be made or written, 74 database damaged, 130 interrupted."));
    const QCommandLineOption player(QStringLiteral("player"),
                                    QStringLiteral("The player: a mount point, or any folder that "
                                                   "holds iPod_Control."),
                                    QStringLiteral("path"));
    const QCommandLineOption to(QStringLiteral("to"), QStringLiteral("The export directory."),
                                QStringLiteral("dir"));
    const QCommandLineOption list(QStringLiteral("list"),
                                  QStringLiteral("Print the tracks with every field and the name "
                                                 "each is exported under; export nothing."));
    const QCommandLineOption format(
        QStringLiteral("format"), QStringLiteral("The form of --list: tsv (the default) or json."),
        QStringLiteral("tsv|json"));
    const QCommandLineOption find(QStringLiteral("find"),
                                  QStringLiteral("Only tracks with every word in their title, "
                                                 "artist, album, album artist, composer, genre "
                                                 "or comment (case and accents aside)."),
                                  QStringLiteral("words"));
    const QCommandLineOption playlist(
        QStringLiteral("playlist"),
        QStringLiteral("Only the tracks of the playlist of this exact "
                       "title; may be repeated."),
        QStringLiteral("title"));
    const QCommandLineOption names(QStringLiteral("names"),
                                   QStringLiteral("The fields of the export names, in order, from "
                                                  "Genre, Artist, Title, Album, ID, Track, Disc, "
                                                  "Year, AlbumArtist, Composer."),
                                   QStringLiteral("fields"));
    const QCommandLineOption settings(QStringLiteral("settings"),
                                      QStringLiteral("Read the kept settings from this file "
                                                     "instead of the user's own (as Sondrel "
                                                     "--settings)."),
                                      QStringLiteral("file"));
    const QCommandLineOption dryRun(QStringLiteral("dry-run"),
                                    QStringLiteral("Print what would be written where; write "
                                                   "nothing."));
    const QCommandLineOption quiet(QStringLiteral("quiet"),
                                   QStringLiteral("No progress and no closing message; only "
                                                  "tracks passed over and failures."));
    parser.addOptions({player, to, list, format, find, playlist, names});
    std::vector<std::pair<QCommandLineOption, QCommandLineOption>> flags;
    for (const OptionFlag &flag : OptionFlags) {
        const QString name = QString::fromLatin1(flag.name);
        flags.emplace_back(QCommandLineOption(name, QString::fromLatin1(flag.description)),
                           QCommandLineOption(QStringLiteral("no-") + name,
                                              QStringLiteral("Not --%1.").arg(name)));
        parser.addOption(flags.back().first);
        parser.addOption(flags.back().second);
    }
    parser.addOptions({settings, dryRun, quiet});
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();

    ParsedCommand parsed;
    const QString program = QStringLiteral("sondrel-export");
    // The usage line names the program as it is called, not by the path it was started by.
    parsed.help = parser.helpText();
    if (const qsizetype end = parsed.help.indexOf(QLatin1Char('\n')); end > 0)
        parsed.help.replace(0, end, QStringLiteral("Usage: %1 [options]").arg(program));
    parsed.usage =
        QStringLiteral("Usage: %1 [options]\nRun \"%1 --help\" for every option.").arg(program);
    CommandOptions &options = parsed.options;
    if (!parser.parse(arguments)) {
        parsed.error = parser.errorText();
        return parsed;
    }
    if (parser.isSet(help)) {
        options.mode = CommandOptions::Mode::Help;
        return parsed;
    }
    if (parser.isSet(version)) {
        options.mode = CommandOptions::Mode::Version;
        return parsed;
    }
    if (!parser.positionalArguments().isEmpty()) {
        parsed.error = QStringLiteral("unexpected argument \"%1\"")
                           .arg(parser.positionalArguments().constFirst());
        return parsed;
    }
    const auto single = [&](const QCommandLineOption &option, std::optional<QString> &out) {
        const QStringList values = parser.values(option);
        if (values.size() > 1) {
            parsed.error =
                QStringLiteral("--%1 is given more than once").arg(option.names().first());
            return false;
        }
        if (!values.isEmpty()) {
            if (values.first().isEmpty()) {
                parsed.error = QStringLiteral("--%1 needs a value").arg(option.names().first());
                return false;
            }
            out = values.first();
        }
        return true;
    };
    if (!single(player, options.player) || !single(to, options.to) ||
        !single(settings, options.settings))
        return parsed;
    if (parser.isSet(list))
        options.mode = CommandOptions::Mode::List;
    if (parser.isSet(format)) {
        const QString value = parser.value(format).toLower();
        if (options.mode != CommandOptions::Mode::List) {
            parsed.error = QStringLiteral("--format goes with --list");
            return parsed;
        }
        if (value == QLatin1String("json")) {
            options.format = CommandOptions::Format::Json;
        } else if (value != QLatin1String("tsv")) {
            parsed.error =
                QStringLiteral("unknown format \"%1\" (tsv or json)").arg(parser.value(format));
            return parsed;
        }
    }
    options.find = parser.values(find).join(QLatin1Char(' '));
    options.playlists = parser.values(playlist);
    if (parser.isSet(names)) {
        options.names =
            nameFieldsFromList(parser.values(names).join(QLatin1Char(',')), parsed.error);
        if (!options.names)
            return parsed;
    }
    for (std::size_t i = 0; i < std::size(OptionFlags); ++i) {
        const bool on = parser.isSet(flags[i].first);
        const bool off = parser.isSet(flags[i].second);
        if (on && off) {
            parsed.error = QStringLiteral("--%1 and --no-%1 are both given")
                               .arg(QString::fromLatin1(OptionFlags[i].name));
            return parsed;
        }
        if (on || off)
            options.*(OptionFlags[i].option) = on;
    }
    options.dryRun = parser.isSet(dryRun);
    options.quiet = parser.isSet(quiet);
    if (options.dryRun && options.mode == CommandOptions::Mode::List) {
        parsed.error = QStringLiteral("--dry-run goes with an export, not with --list");
        return parsed;
    }
    return parsed;
}

} // namespace sondrel
