// The whole "Check for sound files" action (staging, record walk, grid fill) on
// generated players of 5,000, 40,000 and 200,000 tracks, on the 40,000-track database
// compressed as the newer players keep it ("iTunesCDB"), and on a 40,000-track player
// whose tracks carry the eight string fields of the track table and nothing else, each
// of them filled ("eight"), headless. Every player carries the tracks' history, and a plain
// one its "Play Counts" file, so that reading and merging them is measured too; run
// `bench_check --make F 40000` and time `--run F/player/ F/export/ 7` with this build and
// with one from before the history was read to see what they cost. Each case runs in a child
// process of its own so that the peak resident memory of one does not hide another.
//
//   bench_check [runs]          builds the players in a temporary folder and reports
//   bench_check --run DRIVE DIR RUNS   (internal) checks one player RUNS times
//   bench_check --cli [runs]    the 40,000-track player listed by `sondrel-export --list`
//                               (a whole process each time, its output thrown away) against
//                               the window's whole check of it, and its JSON listing against
//                               the TSV one
//   bench_check --make FOLDER TRACKS [eight]   makes FOLDER/player and FOLDER/export, for profiling
//   bench_check --show SECONDS [DRIVE DIR]   opens the window on the machine's own drives
//                                      (or on DRIVE and DIR), presses
//                                      "Check for sound files", answers each message after three
//                                      seconds and stays open SECONDS (for screenshots)

#include "frmmain.h"
#include "itunesdbbuilder.h"
#include "largeplayer.h"
#include "testmain.h"
#include "trackgrid.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <ctime>

#include <sys/resource.h>

using namespace sondrel;
using namespace sondrel::test;

namespace {

// Processor time of the calling thread (user and system), in seconds: unlike the time on
// the clock, it hardly depends on what else the machine is doing. The work files are
// written on a second thread, whose time this leaves out (processSeconds counts it).
double threadSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

// Processor time of the whole process, every thread counted (the work files written beside
// the walk included), in seconds.
double processSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

// Peak resident memory of this process, in bytes.
qint64 peakResidentBytes()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong() * 1024;
    return -1;
}

// Writes the player: its database, and beside a plain one its "Play Counts" file.
bool writeBenchPlayer(const QString &root, const QByteArray &stored, bool compressed, int tracks)
{
    const QString file = compressed ? QStringLiteral("iPod_Control/iTunes/iTunesCDB")
                                    : QStringLiteral("iPod_Control/iTunes/iTunesDB");
    return writePlayerFile(root, file, stored) &&
           (compressed || writePlayerFile(root, QStringLiteral("iPod_Control/iTunes/Play Counts"),
                                          makeLargePlayCounts(tracks)));
}

// Answers every message box as soon as it shows and notes when the first one showed.
class AutoAnswer : public QObject
{
public:
    QElapsedTimer *clock = nullptr;
    qint64 shownAtNs = -1;
    double shownAtThreadSeconds = 0;
    double shownAtProcessSeconds = 0;
    QString text;

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Show) {
            if (auto *box = qobject_cast<QMessageBox *>(watched)) {
                if (shownAtNs < 0) {
                    shownAtNs = clock->nsecsElapsed();
                    shownAtThreadSeconds = threadSeconds();
                    shownAtProcessSeconds = processSeconds();
                    text = box->text();
                }
                QTimer::singleShot(0, box, [box] { box->button(QMessageBox::Ok)->click(); });
            }
        }
        return false;
    }
};

// The child: runs the action `runs` times and prints "seconds... processorSeconds...
// peakBytes rows processSeconds...".
int runChecks(const QString &drive, const QString &dir, int runs)
{
    FrmMain window({}, test::freshSettings());
    window.state().setPlayerDrive(drive);
    window.state().setExportDirectory(dir);
    window.show();
    QApplication::processEvents();

    AutoAnswer answer;
    qApp->installEventFilter(&answer);
    QStringList seconds;
    QStringList processor;
    QStringList process;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer clock;
        answer.clock = &clock;
        answer.shownAtNs = -1;
        const double startThread = threadSeconds();
        const double startProcess = processSeconds();
        clock.start();
        window.BtnUpdate->click();
        if (!answer.text.startsWith(QStringLiteral("Updated in "))) {
            std::fprintf(stderr, "unexpected message: %s\n", qPrintable(answer.text));
            return 1;
        }
        seconds << QString::number(double(answer.shownAtNs) / 1e9, 'f', 4);
        processor << QString::number(answer.shownAtThreadSeconds - startThread, 'f', 4);
        process << QString::number(answer.shownAtProcessSeconds - startProcess, 'f', 4);
        QApplication::processEvents();
    }
    std::printf("%s %s %lld %d %s\n", qPrintable(seconds.join(QLatin1Char(','))),
                qPrintable(processor.join(QLatin1Char(','))), qint64(peakResidentBytes()),
                window.MSFlexGridSoundList->Rows() - 1, qPrintable(process.join(QLatin1Char(','))));
    return 0;
}

int showWindow(int seconds, const QString &drive, const QString &dir)
{
    FrmMain window({}, test::freshSettings());
    if (!drive.isEmpty()) {
        window.state().setPlayerDrive(drive);
        window.state().setExportDirectory(dir);
    }
    window.show();
    QTimer answer;
    answer.setInterval(3000);
    QObject::connect(&answer, &QTimer::timeout, [] {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget()))
            box->button(QMessageBox::Ok)->click();
    });
    answer.start();
    QTimer::singleShot(500, window.BtnUpdate, &QPushButton::click);
    QTimer::singleShot(seconds * 1000, qApp, &QCoreApplication::quit);
    return QApplication::exec();
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// One case: a player of `tracks` tracks, its database stored plain or compressed.
struct Case
{
    Case(int count, bool stored, bool eightFields = false)
        : tracks(count), compressed(stored), eight(eightFields)
    {
    }

    int tracks;
    bool compressed;
    bool eight;
    QString player;
    QString exportDir;
    qint64 databaseSize = 0; // the ordinary (inflated) database
    qint64 storedSize = 0;   // the file on the player
    std::vector<double> seconds;
    std::vector<double> processorSeconds;
    std::vector<double> processSeconds; // every thread
    qint64 peak = 0;
    QByteArray rows;
};

bool prepare(Case &c, const QString &folder)
{
    const QString name = QString::number(c.tracks) +
                         (c.compressed ? QStringLiteral("c") : QString()) +
                         (c.eight ? QStringLiteral("e") : QString());
    c.player = folder + QStringLiteral("/player") + name;
    c.exportDir = folder + QStringLiteral("/export") + name;
    const QByteArray db = buildDatabase(makeLargePlayer(c.tracks, c.eight));
    const QByteArray stored = c.compressed ? compressDatabase(db) : db;
    c.databaseSize = db.size();
    c.storedSize = stored.size();
    return writeBenchPlayer(c.player, stored, c.compressed, c.tracks) && QDir().mkpath(c.exportDir);
}

// Runs `runs` checks of the case in a child process of its own and adds their figures.
bool measure(Case &c, int runs)
{
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QCoreApplication::applicationFilePath(),
                {QStringLiteral("--run"), c.player + QLatin1Char('/'),
                 c.exportDir + QLatin1Char('/'), QString::number(runs)});
    if (!child.waitForFinished(600'000) || child.exitCode() != 0) {
        std::fprintf(stderr, "the child for %d tracks failed\n", c.tracks);
        return false;
    }
    const QList<QByteArray> out = child.readAllStandardOutput().trimmed().split(' ');
    for (const QByteArray &t : out.value(0).split(','))
        c.seconds.push_back(t.toDouble());
    for (const QByteArray &t : out.value(1).split(','))
        c.processorSeconds.push_back(t.toDouble());
    c.peak = std::max(c.peak, out.value(2).toLongLong());
    c.rows = out.value(3);
    for (const QByteArray &t : out.value(4).split(','))
        c.processSeconds.push_back(t.toDouble());
    return true;
}

void print(const Case &c, qint64 limit)
{
    std::printf("%8d %-10s %7.1f MB %7.3f s %7.3f s %7.3f s %7.3f s %7.3f s %7.1f MB %7.1f MB   "
                "(%s rows)\n",
                c.tracks,
                c.compressed ? "iTunesCDB"
                : c.eight    ? "eight"
                             : "iTunesDB",
                c.storedSize / 1048576.0, median(c.seconds),
                *std::min_element(c.seconds.begin(), c.seconds.end()),
                *std::max_element(c.seconds.begin(), c.seconds.end()), median(c.processorSeconds),
                median(c.processSeconds), c.peak / 1048576.0, limit / 1048576.0,
                c.rows.constData());
}

int report(int runs)
{
    QTemporaryDir work;
    if (!work.isValid())
        return 1;
    constexpr int Rounds = 3;
    std::printf("Check for sound files, whole action, headless. Each case runs in processes of its "
                "own;\nthe two 40,000-track cases take turns, %d processes of %d runs each.\n",
                Rounds, runs);
    std::printf("%8s %-10s %10s %9s %9s %9s %9s %9s %10s %10s\n", "tracks", "database", "file",
                "median", "min", "max", "cpu med", "all cpu", "peak RSS", "RSS limit");

    Case small(5000, false);
    Case plain(40000, false);
    Case compressed(40000, true);
    Case eight(40000, false, true);
    Case large(200000, false);
    for (Case *c : {&small, &plain, &compressed, &eight, &large})
        if (!prepare(*c, work.path()))
            return 1;
    if (!measure(small, runs))
        return 1;
    for (int round = 0; round < Rounds; ++round)
        if (!measure(plain, runs) || !measure(compressed, runs) || !measure(eight, runs))
            return 1;
    if (!measure(large, std::max(3, runs / 2)))
        return 1;

    const auto ownLimit = [](const Case &c) { return 3 * c.databaseSize + 64 * 1024 * 1024; };
    // A compressed database may cost its inflated size once more (1.2 times) over the same
    // database stored plain.
    const qint64 compressedLimit = plain.peak + qint64(1.2 * double(plain.databaseSize));
    print(small, ownLimit(small));
    print(plain, ownLimit(plain));
    print(compressed, compressedLimit);
    print(eight, ownLimit(eight));
    print(large, ownLimit(large));
    const double wallRatio = median(compressed.seconds) / median(plain.seconds);
    const double processorRatio =
        median(compressed.processorSeconds) / median(plain.processorSeconds);
    std::printf("iTunesCDB against iTunesDB: %.2f x the time (processor time: %.2f x), "
                "peak RSS %+.1f MB; %.1f MB inflated\n",
                wallRatio, processorRatio, (compressed.peak - plain.peak) / 1048576.0,
                plain.databaseSize / 1048576.0);
    std::printf("200,000 against 40,000 tracks: %.2f x the time (processor time: %.2f x)\n",
                median(large.seconds) / median(plain.seconds),
                median(large.processorSeconds) / median(plain.processorSeconds));
    const bool met = small.peak <= ownLimit(small) && median(plain.seconds) <= 1.0 &&
                     plain.peak <= ownLimit(plain) && wallRatio <= 1.5 &&
                     compressed.peak <= compressedLimit;
    std::printf("targets (40,000 tracks: median <= 1.0 s; peak RSS <= 3 x database + 64 MB; as "
                "iTunesCDB: median <= 1.5 x, peak RSS <= iTunesDB's + 1.2 x inflated): %s\n",
                met ? "met" : "NOT met");
    std::fflush(stdout);
    return 0;
}

QByteArray loadAverage()
{
    QFile file(QStringLiteral("/proc/loadavg"));
    return file.open(QIODevice::ReadOnly) ? file.readAll().split(' ').value(0) : QByteArray("?");
}

// The command line's listing of the 40,000-track player, process start to end, against
// the window's whole check of the same player.
int reportCommandLine(int runs)
{
    QTemporaryDir work;
    if (!work.isValid())
        return 1;
    Case plain(40000, false);
    if (!prepare(plain, work.path()) || !measure(plain, runs))
        return 1;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), work.filePath(QStringLiteral("config")));
    // The TSV and the JSON listing, run in turn so that both see the same load.
    std::vector<double> listing[2];
    std::vector<double> listingCpu[2]; // user and system time of the process
    QByteArray lines;
    const auto childrenSeconds = [] {
        rusage usage{};
        getrusage(RUSAGE_CHILDREN, &usage);
        return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
               double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    };
    const QString formats[2] = {QStringLiteral("tsv"), QStringLiteral("json")};
    for (int i = 0; i < runs; ++i) {
        for (int f = 0; f < 2; ++f) {
            QProcess child;
            child.setProcessEnvironment(env);
            child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
            if (i > 0 || f > 0)
                child.setStandardOutputFile(QProcess::nullDevice());
            QElapsedTimer clock;
            const double cpuBefore = childrenSeconds();
            clock.start();
            child.start(QStringLiteral(SONDREL_EXPORT_PROGRAM),
                        {QStringLiteral("--player"), plain.player, QStringLiteral("--list"),
                         QStringLiteral("--format"), formats[f]});
            if (!child.waitForFinished(600'000) || child.exitCode() != 0) {
                std::fprintf(stderr, "sondrel-export --list --format %s failed\n",
                             qPrintable(formats[f]));
                return 1;
            }
            listing[f].push_back(double(clock.nsecsElapsed()) / 1e9);
            listingCpu[f].push_back(childrenSeconds() - cpuBefore);
            if (i == 0 && f == 0)
                lines = QByteArray::number(child.readAllStandardOutput().count('\n') - 1);
        }
    }
    const double ratio = median(listing[0]) / median(plain.seconds);
    const double jsonRatio = median(listing[1]) / median(listing[0]);
    std::printf(
        "40,000 tracks, %d runs each (load average now %s)\n"
        "window's whole check:   median %.3f s, processor time (all threads) %.3f s (%s rows)\n"
        "sondrel-export --list:  median %.3f s, min %.3f s, processor time %.3f s, "
        "process start to end (%s lines)\n"
        "--list --format json:   median %.3f s, min %.3f s, processor time %.3f s\n"
        "--list / check: %.2f x the time, %.2f x the processor time (target <= 0.8 x): %s\n"
        "json / tsv: %.2f x the time, %.2f x the processor time (target <= 1.2 x): %s\n",
        runs, loadAverage().constData(), median(plain.seconds), median(plain.processSeconds),
        plain.rows.constData(), median(listing[0]),
        *std::min_element(listing[0].begin(), listing[0].end()), median(listingCpu[0]),
        lines.constData(), median(listing[1]),
        *std::min_element(listing[1].begin(), listing[1].end()), median(listingCpu[1]), ratio,
        median(listingCpu[0]) / median(plain.processSeconds), ratio <= 0.8 ? "met" : "NOT met",
        jsonRatio, median(listingCpu[1]) / median(listingCpu[0]),
        jsonRatio <= 1.2 ? "met" : "NOT met");
    std::fflush(stdout);
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Sondrel"));
    const QStringList args = QApplication::arguments();
    if (args.size() == 5 && args[1] == QLatin1String("--run"))
        return runChecks(args[2], args[3], args[4].toInt());
    if ((args.size() == 2 || args.size() == 3) && args[1] == QLatin1String("--cli"))
        return reportCommandLine(args.size() == 3 ? std::max(1, args[2].toInt()) : 7);
    if ((args.size() == 3 || args.size() == 5) && args[1] == QLatin1String("--show"))
        return showWindow(args[2].toInt(), args.value(3), args.value(4));
    if ((args.size() == 4 || args.size() == 5) && args[1] == QLatin1String("--make")) {
        const QDir folder(args[2]);
        const bool eight = args.size() == 5 && args[4] == QLatin1String("eight");
        const int tracks = args[3].toInt();
        return writeBenchPlayer(folder.filePath(QStringLiteral("player")),
                                buildDatabase(makeLargePlayer(tracks, eight)), false, tracks) &&
                       folder.mkpath(QStringLiteral("export"))
                   ? 0
                   : 1;
    }
    return report(args.size() > 1 ? std::max(1, args[1].toInt()) : 7);
}
