#include "exportcommand.h"

#include "commandoptions.h"
#include "console.h"
#include "databasereader.h"
#include "exportrecord.h"
#include "exportrun.h"
#include "keptsettings.h"
#include "libraryfile.h"
#include "progressline.h"
#include "totals.h"
#include "startupsettings.h"
#include "tracklisting.h"
#include "tracksearch.h"
#include "tracktable.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>

#include <chrono>
#include <cstdio>
#include <future>
#include <thread>

namespace sondrel {

namespace {

void write(std::FILE *stream, const QByteArray &bytes)
{
    std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), stream);
    std::fflush(stream);
}

void say(const QString &text)
{
    write(stderr, text.toUtf8() + '\n');
}

QString runTimeError(const PlatformError &error)
{
    return QStringLiteral("Run-time error '%1': %2")
        .arg(error.number())
        .arg(QString::fromStdString(error.description()));
}

// The checks' messages on the standard error stream, each on lines of its own.
class ConsoleHost : public ExportHost
{
public:
    void message(const QString &text) override
    {
        QString lines = text;
        lines.replace(QChar(13), QLatin1Char('\n'));
        say(lines);
    }
    void failure(const PlatformError &error) override { say(runTimeError(error)); }
    void setBusy(bool) override {}
};

// Makes the folder and those above it that are missing.
void makeFolders(const FileSystem &fs, const std::string &folder)
{
    const char separator = fs.separator();
    std::vector<std::string> missing;
    std::string path = folder;
    while (!path.empty() && !fs.folderExists(path)) {
        missing.push_back(path);
        const std::size_t cut = path.find_last_of(separator, path.size() >= 2 ? path.size() - 2 : 0);
        if (cut == std::string::npos)
            break;
        path.resize(cut + 1);
    }
    for (auto it = missing.rbegin(); it != missing.rend(); ++it)
        fs.createFolder(*it);
}

// The tracks the selection options choose, in database order; an unknown playlist title
// is put into `unknown`.
std::vector<int> selectTracks(const TrackTable &table, const CommandOptions &command,
                              QString &unknown)
{
    const int n = table.count();
    std::vector<char> chosen(std::size_t(n), command.playlists.isEmpty() ? 1 : 0);
    for (const QString &title : command.playlists) {
        bool found = false;
        for (const Playlist &playlist : table.playlists()) {
            if (playlist.title != title)
                continue;
            found = true;
            for (const int k : playlist.tracks) {
                if (table.contains(k))
                    chosen[std::size_t(k - 1)] = 1;
            }
        }
        if (!found) {
            unknown = title;
            return {};
        }
    }
    const SearchWords words = searchWords(command.find);
    if (!words.isEmpty()) {
        const std::vector<char> matching = TrackSearch(table).matchAll(words);
        for (std::size_t i = 0; i < chosen.size(); ++i)
            chosen[i] = chosen[i] && matching[i];
    }
    std::vector<int> tracks;
    for (int k = 1; k <= n; ++k) {
        if (chosen[std::size_t(k - 1)])
            tracks.push_back(k);
    }
    return tracks;
}

int exitOf(ExportRun::Outcome outcome)
{
    switch (outcome) {
    case ExportRun::Outcome::PlayerMissing: return ExitNoPlayer;
    case ExportRun::Outcome::NotEnoughSpace: return ExitStopped;
    case ExportRun::Outcome::NothingSelected: return ExitDone;
    case ExportRun::Outcome::Ready: return ExitDone;
    case ExportRun::Outcome::DirectoryMissing:
    case ExportRun::Outcome::RecordHeld:
    case ExportRun::Outcome::RecordForeign:
    case ExportRun::Outcome::Failed: return ExitCannotWrite;
    }
    return ExitCannotWrite;
}

// What a dry run would do, one line per file, on the standard output. A source the plan
// did not need to look at is looked at here, so that a missing one shows as passed over.
int showPlan(const FileSystem &fs, const ExportRun &run)
{
    const ExportSnapshot &snapshot = run.snapshot();
    CaseInsensitiveFolders playerFolders(fs);
    const QChar separator = QDir::separator();
    QByteArray out;
    int copies = 0, already = 0, passed = 0;
    std::uint64_t bytes = 0;
    for (const ExportItem &item : snapshot.items) {
        std::string resolved = item.resolvedSource;
        std::optional<FileStatus> status = item.sourceStatus;
        if (item.step == ExportStep::Copy && resolved.empty()) {
            resolved = resolvePlayerPath(fs, playerFolders, snapshot.playerRoot, item.names);
            status = fs.status(resolved);
        }
        const QString source = QString::fromStdString(resolved.empty() ? item.source : resolved);
        const bool missing = item.step == ExportStep::Copy && !status;
        if (!missing && (item.step == ExportStep::Copy || item.step == ExportStep::Replace ||
                         item.step == ExportStep::Compare))
            bytes += status ? status->size : item.size;
        QString destination = QString::fromStdString(snapshot.exportDirectory);
        for (const QString &folder : item.folders)
            destination += folder + separator;
        destination += item.name;
        QString line;
        switch (missing ? ExportStep::Skip : item.step) {
        case ExportStep::Copy:
            line = QStringLiteral("copy: ") + source + QStringLiteral(" -> ") + destination;
            ++copies;
            break;
        case ExportStep::Replace:
            line = QStringLiteral("replace: ") + source + QStringLiteral(" -> ") + destination;
            ++copies;
            break;
        case ExportStep::Compare:
            line = QStringLiteral("compare: ") + source + QStringLiteral(" with ") + destination;
            ++copies;
            break;
        case ExportStep::AlreadyThere:
            line = QStringLiteral("already there: ") + destination;
            ++already;
            break;
        case ExportStep::Skip:
            line = QStringLiteral("pass over: ") + item.title + QStringLiteral(": ") +
                   (missing ? QStringLiteral("missing on the iPod") : item.refusal);
            ++passed;
            break;
        }
        out += line.toUtf8() + '\n';
    }
    for (const ExportPlaylist &playlist : snapshot.playlists) {
        out += (QStringLiteral("playlist: ") + QString::fromStdString(snapshot.exportDirectory) +
                playlist.title + QStringLiteral(".m3u8"))
                   .toUtf8() +
               '\n';
    }
    if (snapshot.options.libraryFile) {
        out += (QStringLiteral("library file: ") + QString::fromStdString(snapshot.exportDirectory) +
                QString::fromLatin1(LibraryFileName))
                   .toUtf8() +
               '\n';
    }
    out += QStringLiteral("%1 of %2 files to copy (%3) into %4; %5 already there, %6 passed over.\n")
               .arg(copies)
               .arg(snapshot.items.size())
               .arg(byteText(double(bytes)), QString::fromStdString(snapshot.exportDirectory))
               .arg(already)
               .arg(passed)
               .toUtf8();
    write(stdout, out);
    return passed > 0 ? ExitPassedOver : ExitDone;
}

// Copies on a thread of its own, while this one draws the progress and passes a request to
// stop on to the copies.
ExportReport copyWithProgress(ExportRun &run, bool quiet)
{
    ExportProgress progress;
    std::atomic<int> reached{0};
    QObject::connect(&progress, &ExportProgress::reached,
                     [&](int n, int, const QString &) { reached.store(n); });
    ProgressLine line(errorStreamIsTerminal(), int(run.snapshot().items.size()), run.bytesToCopy());
    QElapsedTimer clock;
    clock.start();

    std::promise<ExportReport> done;
    std::future<ExportReport> report = done.get_future();
    std::thread copying([&] {
        try {
            done.set_value(run.copy(progress));
        } catch (...) {
            done.set_exception(std::current_exception());
        }
    });
    while (report.wait_for(std::chrono::milliseconds(50)) != std::future_status::ready) {
        if (interruptionRequested())
            progress.cancel();
        if (!quiet) {
            const QString text = line.update(reached.load(), progress.bytes(), clock.elapsed());
            if (!text.isEmpty())
                write(stderr, text.toUtf8());
        }
    }
    copying.join();
    if (!quiet) {
        const QString text = line.finish(reached.load(), progress.bytes(), clock.elapsed());
        if (!text.isEmpty())
            write(stderr, text.toUtf8());
    }
    return report.get();
}

// Tells how a run went, on the standard error stream, and gives its exit status.
int tellReport(const ExportReport &report, bool quiet, bool interrupted)
{
    for (const SkippedTrack &track : report.skipped)
        say(track.title + QStringLiteral(": ") + track.reason);
    if (report.failure)
        say(runTimeError(*report.failure));
    const QStringList closing = closingMessage(report).split(QLatin1Char('\n'));
    if (!closing.constFirst().isEmpty() && (!quiet || report.end != ExportReport::End::Finished))
        say(closing.constFirst());
    if (closing.size() > 1 && closing.constLast().startsWith(QLatin1String("The full list is in ")))
        say(closing.constLast());
    for (const std::optional<PlatformError> &later : {report.errorsFileFailure, report.recordFailure}) {
        if (later)
            say(runTimeError(*later));
    }

    switch (report.end) {
    case ExportReport::End::Cancelled:
        return interrupted ? ExitInterrupted : ExitStopped;
    case ExportReport::End::DestinationFailed:
        return ExitStopped;
    case ExportReport::End::PlayerGone:
        return ExitPlayerGone;
    case ExportReport::End::Finished:
        break;
    }
    if (report.recordFailure || report.errorsFileFailure)
        return ExitStopped;
    return report.skipped.empty() ? ExitDone : ExitPassedOver;
}

} // namespace

int runExportCommand(const QStringList &arguments,
                     const std::function<std::unique_ptr<FileSystem>()> &fileSystem)
{
    const ParsedCommand parsed = parseCommand(arguments);
    const CommandOptions &command = parsed.options;
    if (!parsed.error.isEmpty()) {
        say(QStringLiteral("sondrel-export: ") + parsed.error);
        say(parsed.usage);
        return ExitUsage;
    }
    if (command.mode == CommandOptions::Mode::Help) {
        write(stdout, parsed.help.toUtf8());
        return ExitDone;
    }
    if (command.mode == CommandOptions::Mode::Version) {
        write(stdout, (QCoreApplication::applicationName() + QLatin1Char(' ') +
                       QCoreApplication::applicationVersion() + QLatin1Char('\n'))
                          .toUtf8());
        return ExitDone;
    }
    catchInterruptions();

    const std::unique_ptr<FileSystem> fs = fileSystem();
    const std::unique_ptr<KeptSettings> keptStore = command.settings
                                                         ? std::make_unique<KeptSettings>(*command.settings)
                                                         : std::make_unique<KeptSettings>();
    const KeptSettings &kept = *keptStore;
    const StartUpSettings start = startUpSettings(*fs, kept);

    // The player's database, read into memory.
    const QString player = command.player ? folderFromCommandLine(*command.player)
                                          : QString::fromStdString(start.dfltDrive);
    // The table goes with the process: taking 40,000 tracks apart string by string would
    // only make the end wait.
    TrackTable &table = *new TrackTable;
    try {
        if (!fs->folderExists(player.toStdString())) {
            say(player + QStringLiteral(" holds no iPod database"));
            return ExitNoPlayer;
        }
        DatabaseReader reader(*fs, player.toStdString());
        const ReadOutcome outcome = readPlayer(reader, table);
        if (outcome.status == ReadStatus::NoDatabase) {
            say(player + QStringLiteral(" holds no iPod database"));
            return ExitNoPlayer;
        }
        if (!outcome.read()) {
            QString detail;
            if (outcome.inflate == InflateStatus::Damaged)
                detail = QStringLiteral("the compressed database cannot be inflated");
            else if (outcome.inflate == InflateStatus::TooLarge)
                detail = QStringLiteral("the compressed database is too large");
            else
                detail = describe(outcome.walk);
            say(QStringLiteral("Sondrel couldn't read the iPod database... (") + detail +
                QLatin1Char(')'));
            return ExitDamaged;
        }
    } catch (const PlatformError &error) {
        say(runTimeError(error));
        return ExitDamaged;
    }
    if (interruptionRequested())
        return ExitInterrupted;
    QString unknown;
    const std::vector<int> tracks = selectTracks(table, command, unknown);
    if (!unknown.isNull()) {
        say(QStringLiteral("sondrel-export: the player has no playlist titled \"%1\"").arg(unknown));
        say(parsed.usage);
        return ExitUsage;
    }
    const NameFields fields = command.names.value_or(kept.nameFields().value_or(defaultNameFields()));
    const ExportOptions options = effectiveOptions(command, kept.exportOptions());

    if (command.mode == CommandOptions::Mode::List) {
        const NameLimit limit = fs->nameLimit();
        writeTrackListing(stdout,
                          command.format == CommandOptions::Format::Json ? ListingFormat::Json
                                                                         : ListingFormat::Tsv,
                          table, tracks, fields, options, limit);
        std::fflush(stdout);
        if (tracks.empty())
            say(QStringLiteral("No files were selected"));
        return ExitDone;
    }

    if (tracks.empty()) {
        say(QStringLiteral("No files were selected"));
        return ExitDone;
    }
    ExportRequest request;
    request.playerDrive = player;
    request.exportDirectory =
        command.to ? folderFromCommandLine(*command.to) : QString::fromStdString(start.dfltDir);
    request.marked = tracks;
    for (const int k : tracks) {
        const Track &track = table.track(k);
        ++request.totals.count;
        request.totals.bytes += track.size;
        request.totals.milliseconds += countedDuration(track.duration);
    }
    request.fields = fields;
    request.options = options;

    ConsoleHost host;
    ExportRun run(*fs, host);
    if (command.dryRun) {
        const ExportRun::Outcome outcome = run.preview(table, request);
        if (outcome != ExportRun::Outcome::Ready)
            return exitOf(outcome);
        return showPlan(*fs, run);
    }

    const std::string directory = request.exportDirectory.toStdString();
    try {
        makeFolders(*fs, directory);
    } catch (const PlatformError &error) {
        say(request.exportDirectory + QStringLiteral(" cannot be made: ") +
            QString::fromStdString(error.description()));
        return ExitCannotWrite;
    }
    if (!fs->folderWritable(directory)) {
        say(request.exportDirectory + QStringLiteral(" cannot be written"));
        return ExitCannotWrite;
    }
    const ExportRun::Outcome outcome = run.check(table, request);
    if (outcome != ExportRun::Outcome::Ready)
        return exitOf(outcome);
    if (interruptionRequested())
        return ExitInterrupted;
    const ExportReport report = copyWithProgress(run, command.quiet);
    return tellReport(report, command.quiet, interruptionRequested());
}

} // namespace sondrel
