// How long a run takes to stop on a player whose every read takes 5 s (a dying disk): from
// Cancel (the window's run) and from SIGINT or SIGTERM (sondrel-export) to the end of the
// run. The slow reads are made behind the file-system interface.
//
//     bench_slowplayer [seconds per read] [MB]
#include "exportcommand.h"
#include "exportrun.h"
#include "faultyfilesystem.h"
#include "itunesdbbuilder.h"
#include "namefields.h"
#include "tracktables.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <thread>

#include <signal.h>

using namespace sondrel;
using namespace sondrel::test;

namespace {

// Services whose every read of a copy's source takes `seconds`.
FaultyFileSystem::Factory slowPlayer(int seconds)
{
    auto plan = std::make_shared<FaultPlan>();
    plan->readFault = [seconds](const std::string &, std::uint64_t, std::size_t) {
        QThread::sleep(seconds);
        return 0;
    };
    return FaultyFileSystem::factory(plan);
}

// The child: sondrel-export on the slow player.
int child(const QString &player, const QString &to, int seconds)
{
    return runExportCommand({QStringLiteral("sondrel-export"), QStringLiteral("--player"), player,
                             QStringLiteral("--to"), to, QStringLiteral("--quiet")},
                            slowPlayer(seconds));
}

// The window's run: cancelled 1.5 s into the first read.
double windowRun(const QString &player, const QString &to, int seconds, qint64 bytes)
{
    const std::unique_ptr<FileSystem> fs = slowPlayer(seconds)();
    struct : ExportHost
    {
        void message(const QString &) override {}
        void failure(const PlatformError &) override {}
        void setBusy(bool) override {}
    } host;
    TableTrack track;
    track.title = QStringLiteral("Night");
    track.size = std::uint64_t(bytes);
    track.location = QStringLiteral(":iPod_Control:Music:F00:NIGHT.mp3");
    const TrackTable table = tableOf({track});
    ExportRequest request;
    request.playerDrive = player + QLatin1Char('/');
    request.exportDirectory = to + QLatin1Char('/');
    request.marked = {1};
    request.fields = defaultNameFields();
    ExportRun run(*fs, host);
    if (run.check(table, request) != ExportRun::Outcome::Ready)
        return -1;
    ExportProgress progress;
    std::thread copying([&] { run.copy(progress); });
    QThread::msleep(1500);
    QElapsedTimer clock;
    clock.start();
    progress.cancel();
    copying.join();
    return double(clock.elapsed()) / 1000;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc > 4 && QLatin1String(argv[1]) == QLatin1String("--child"))
        return child(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]),
                     atoi(argv[4]));
    const int seconds = argc > 1 ? std::max(1, atoi(argv[1])) : 5;
    const int megabytes = argc > 2 ? std::max(1, atoi(argv[2])) : 30;

    QTemporaryDir work;
    const QString player = work.filePath(QStringLiteral("player"));
    TestDatabase db;
    db.tracks << TestTrack::make(QStringLiteral("Night"), QString(), QString(), QString(),
                                 QStringLiteral(":iPod_Control:Music:F00:NIGHT.mp3"))
                     .withSize(megabytes << 20);
    if (!QDir().mkpath(player) || !writePlayer(player, db)) {
        std::fprintf(stderr, "cannot make the player\n");
        return 1;
    }
    QFile sound(player + QStringLiteral("/iPod_Control/Music/F00/NIGHT.mp3"));
    if (!sound.open(QIODevice::WriteOnly) || !sound.resize(qint64(megabytes) << 20))
        return 1;
    sound.close();
    std::printf("one %d MB track, every read of it taking %d s\n", megabytes, seconds);

    const QString windowTo = work.filePath(QStringLiteral("window"));
    QDir().mkpath(windowTo);
    std::printf("  Cancel to the end of the run (window's run):    %.2f s\n",
                windowRun(player, windowTo, seconds, qint64(megabytes) << 20));

    const struct
    {
        const char *name;
        int signal;
        int count;
    } stops[] = {{"SIGINT", SIGINT, 1}, {"SIGTERM", SIGTERM, 1}, {"SIGINT twice", SIGINT, 2}};
    for (const auto &stop : stops) {
        const QString to =
            work.filePath(QStringLiteral("cli-%1").arg(stop.signal * 10 + stop.count));
        QProcess process;
        process.setProcessChannelMode(QProcess::ForwardedChannels);
        process.start(QCoreApplication::applicationFilePath(),
                      {QStringLiteral("--child"), player, to, QString::number(seconds)});
        if (!process.waitForStarted())
            return 1;
        QThread::msleep(1500); // the database read, the checks, and into the first read
        QElapsedTimer clock;
        clock.start();
        for (int i = 0; i < stop.count; ++i) {
            ::kill(pid_t(process.processId()), stop.signal);
            QThread::msleep(100);
        }
        process.waitForFinished(600000);
        std::printf("  %-13s to the end (sondrel-export):    %.2f s, exit %d\n", stop.name,
                    double(clock.elapsed()) / 1000, process.exitCode());
    }
    return 0;
}
