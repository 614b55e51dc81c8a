#include "exportcommand.h"

#include "commandoptions.h"
#include "console.h"
#include "databasereader.h"
#include "exportjob.h"
#include "exportmessages.h"
#include "exportrecord.h"
#include "exportrun.h"
#include "keptsettings.h"
#include "libraryfile.h"
#include "progressline.h"
#include "startupsettings.h"
#include "tracklisting.h"
#include "tracksearch.h"
#include "tracktable.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>

#include <atomic>
#include <cstdio>
#include <optional>

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
    for (const std::string &missing : missingFolders(fs, folder).missing)
        fs.createFolder(missing);
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
    case ExportRun::Outcome::PlayerMissing:
        return ExitNoPlayer;
    case ExportRun::Outcome::NotEnoughSpace:
        return ExitStopped;
    case ExportRun::Outcome::NothingSelected:
        return ExitDone;
    case ExportRun::Outcome::Ready:
        return ExitDone;
    case ExportRun::Outcome::DirectoryMissing:
    case ExportRun::Outcome::RecordHeld:
    case ExportRun::Outcome::RecordForeign:
    case ExportRun::Outcome::Failed:
        return ExitCannotWrite;
    }
    return ExitCannotWrite;
}

// What a dry run would do, one line per file, on the standard output, with the bytes that
// the free space was checked against.
int showPlan(const ExportJob &job)
{
    const ExportSnapshot &snapshot = job.snapshot();
    const QChar separator = QDir::separator();
    QByteArray out;
    int copies = 0, already = 0, passed = 0;
    for (const ExportItem &item : snapshot.items) {
        const QString source =
            QString::fromStdString(item.resolvedSource.empty() ? item.source : item.resolvedSource);
        QString destination = QString::fromStdString(snapshot.exportDirectory);
        for (const QString &folder : item.folders)
            destination += folder + separator;
        destination += item.name;
        QString line;
        switch (item.step) {
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
            line = QStringLiteral("pass over: ") + item.title + QStringLiteral(": ") + item.refusal;
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
        out +=
            (QStringLiteral("library file: ") + QString::fromStdString(snapshot.exportDirectory) +
             QString::fromLatin1(LibraryFileName))
                .toUtf8() +
            '\n';
    }
    out +=
        QStringLiteral("%1 of %2 files to copy (%3) into %4; %5 already there, %6 passed over.\n")
            .arg(copies)
            .arg(snapshot.items.size())
            .arg(byteText(double(job.bytesToCopy())),
                 QString::fromStdString(snapshot.exportDirectory))
            .arg(already)
            .arg(passed)
            .toUtf8();
    write(stdout, out);
    return passed > 0 ? ExitPassedOver : ExitDone;
}

// Waits for the job's end while drawing its progress line and passing a request to stop
// on to it.
void followJob(ExportJob &job, bool quiet)
{
    ExportProgress &progress = job.progress();
    std::optional<ProgressLine> line;
    QElapsedTimer clock;
    const auto draw = [&](bool last) {
        if (quiet || job.outcome() != ExportRun::Outcome::Ready)
            return;
        if (!line) {
            line.emplace(errorStreamIsTerminal(), int(job.snapshot().items.size()),
                         job.bytesToCopy());
            clock.start();
        }
        const QString text =
            last ? line->finish(progress.reachedCount(), progress.bytes(), clock.elapsed())
                 : line->update(progress.reachedCount(), progress.bytes(), clock.elapsed());
        if (!text.isEmpty())
            write(stderr, text.toUtf8());
    };
    std::atomic<bool> checked{false};
    QObject::connect(&job, &ExportJob::checked, [&] { checked.store(true); });
    while (!job.wait(QDeadlineTimer(50))) {
        if (interruptionRequested())
            job.cancel();
        if (checked.load())
            draw(false);
    }
    if (checked.load())
        draw(true);
}

// Tells how a run went, on the standard error stream, and gives its exit status.
int tellReport(const ExportReport &report, bool quiet, bool interrupted)
{
    for (const SkippedTrack &track : report.skipped)
        say(track.title + QStringLiteral(": ") + track.reason);
    if (report.failure)
        say(runTimeError(*report.failure));
    const QString summary = closingSummary(report);
    if (!summary.isEmpty() && (!quiet || report.end != ExportReport::End::Finished))
        say(summary);
    const QString list = errorsListLine(report);
    if (!summary.isEmpty() && !list.isEmpty())
        say(list);
    for (const std::optional<PlatformError> &later :
         {report.errorsFileFailure, report.recordFailure}) {
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
    const std::unique_ptr<KeptSettings> keptStore =
        command.settings ? std::make_unique<KeptSettings>(*command.settings)
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
        say(QStringLiteral("sondrel-export: the player has no playlist titled \"%1\"")
                .arg(unknown));
        say(parsed.usage);
        return ExitUsage;
    }
    const NameFields fields =
        command.names.value_or(kept.nameFields().value_or(defaultNameFields()));
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
    request.fields = fields;
    request.options = options;

    ConsoleHost host;
    if (command.dryRun) {
        ExportJob job(*fs, ExportJob::Kind::Preview);
        job.start(table, request);
        job.wait();
        job.tellChecks(host);
        if (job.outcome() != ExportRun::Outcome::Ready)
            return exitOf(job.outcome());
        return showPlan(job);
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
    ExportJob job(*fs);
    job.start(table, request);
    followJob(job, command.quiet);
    job.tellChecks(host);
    if (job.outcome() != ExportRun::Outcome::Ready)
        return exitOf(job.outcome());
    if (!job.copied()) // stopped before the first copy
        return ExitInterrupted;
    return tellReport(job.report(), command.quiet, interruptionRequested());
}

} // namespace sondrel
