// The export run against cp followed by sync on the same files, and how long the window
// stops answering while it runs.
//
//   bench_export [files] [megabytes per file] [pairs] [work folder] [folders]
//   (defaults: 1000 files of 2 MB, about 2 GB; 5 pairs; a temporary folder under $TMPDIR
//   or /tmp; with "folders" the export sorts the files into 50 artists' 200 album folders
//   and writes 20 playlists of every 10th track, while cp copies them flat as ever)
//
// Writes a player tree with the files, then times, in alternating order, the main
// window's "Export selected file(s)" of all of them into one folder and `cp` of the same
// files into another folder on the same disk followed by `sync` (the export flushes every
// file to the disk before it names it, so both end with the bytes on the disk). Before each
// timed run the destination is emptied and `sync` flushes what earlier runs wrote; the
// sources are read once beforehand so that both find them in the page cache. A 10 ms
// timer on the window's thread measures the longest gap between two of its ticks during
// each export: the longest time the window could not repaint or answer; the same timer
// while cp and sync run shows what the machine alone costs an idle window.
// Prints the medians and the ratio (targets: export >= 0.9 x cp + sync; stall <= 50 ms).
// After each timed export the same export is run again over the finished folder (its
// record says every file is there): the second run's time against the first's (target:
// at most 3%).
//
//   bench_export --tags [files] [MB] [pairs] [padding] [folder]
//                                             the export of rated and played MP3 files (an
//                                             ID3v2.3 tag of `padding` spare bytes, default 0:
//                                             every tag grows the file) with ratings and play
//                                             counts written into the copies' tags, against
//                                             the same export without (target >= 0.8); with
//                                             "covers" after [folder], the player gets one
//                                             cover per 10 tracks (an album) and the export
//                                             with tags and covers is timed against the one
//                                             with tags alone (target >= 0.85)
//   bench_export --record [lines] [runs]      reading a record of 40,000 lines (target <= 100 ms)
//   bench_export --plan [tracks] [folders]    the checks of an export of 40,000 small files:
//                                             with no record, then over the finished export
//   bench_export --cli [files] [megabytes per file] [pairs] [work folder]
//                                             `sondrel-export` of a player with its database
//                                             (a whole process, its reading included) against
//                                             cp + sync (target: >= 0.9 x)
#include "artworkbuilder.h"
#include "artworkdb.h"
#include "exportmessages.h"
#include "exportrecord.h"
#include "exportrun.h"
#include "filesystem.h"
#include "frmmain.h"
#include "itunesdbbuilder.h"
#include "modalanswerer.h"
#include "soundfilecheck.h"
#include "testmain.h"
#include "trackgrid.h"

#include <QApplication>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <vector>

using namespace sondrel;

namespace {

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

void emptyFolder(const QString &path)
{
    QDir dir(path);
    for (const QString &name :
         dir.entryList(QDir::Files | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot))
        dir.remove(name);
    for (const QString &name : dir.entryList(QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot))
        QDir(dir.filePath(name)).removeRecursively();
}

// Writes out what earlier runs left in the page cache and lets the disk settle.
void flushDisks()
{
    QProcess::execute(QStringLiteral("sync"), {});
    QThread::msleep(500);
    QProcess::execute(QStringLiteral("sync"), {});
}

// The longest gap between two ticks of a 10 ms timer on this thread while it lives.
class StallMeter : public QObject
{
public:
    StallMeter()
    {
        m_clock.start();
        m_timer.setInterval(10);
        m_timer.setTimerType(Qt::PreciseTimer);
        connect(&m_timer, &QTimer::timeout, this, [this] {
            const qint64 now = m_clock.nsecsElapsed();
            m_longest = std::max(m_longest, now - m_last);
            m_last = now;
        });
        m_last = m_clock.nsecsElapsed();
        m_timer.start();
    }

    // Milliseconds, the last gap up to now included.
    double longest() const
    {
        return double(std::max(m_longest, m_clock.nsecsElapsed() - m_last)) / 1e6;
    }

private:
    QElapsedTimer m_clock;
    QTimer m_timer;
    qint64 m_last = 0;
    qint64 m_longest = 0;
};

// Checks that show nothing.
class QuietHost : public ExportHost
{
public:
    void message(const QString &text) override { std::printf("message: %s\n", qPrintable(text)); }
    void failure(const PlatformError &error) override
    {
        std::printf("failure: %s\n", error.what());
    }
    void setBusy(bool) override {}
};

// Reading (locking, reading and parsing) a record of `lines` lines, `runs` times.
int benchRecord(int lines, int runs)
{
    QTemporaryDir dir;
    const std::string folder = dir.path().toStdString() + "/";
    {
        ExportRecord record;
        for (int i = 0; i < lines; ++i) {
            RecordLine line;
            line.path =
                QStringLiteral("Artist %1/Album %2/Genre_Artist %1_Title %3_Album %2_%3.mp3")
                    .arg(i % 500)
                    .arg(i % 4000)
                    .arg(i)
                    .toStdString();
            line.kind = RecordTrack;
            line.key = QStringLiteral("%1")
                           .arg(0x1234567800000000ull + quint64(i), 16, 16, QLatin1Char('0'))
                           .toUpper();
            line.sourceSize = line.size = 4000000 + std::uint64_t(i);
            line.sourceTime = line.time = 1700000000000000000LL + i;
            record.put(std::move(line));
        }
        QFile file(QString::fromStdString(folder + ExportRecordFileName));
        if (!file.open(QIODevice::WriteOnly) || file.write(record.text()) < 0)
            return 1;
    }
    const std::unique_ptr<FileSystem> fs = createFileSystem();
    // Also the thread's own processor time, which other work on a shared machine disturbs
    // less than the time on the clock.
    const auto cpuMs = [] {
        timespec now{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
        return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
    };
    std::vector<double> times, cpu;
    for (int run = 0; run < runs; ++run) {
        QElapsedTimer timer;
        timer.start();
        const double cpuStart = cpuMs();
        RecordFile record(*fs, folder);
        const bool read = record.open() == RecordFile::Opened::Ready;
        const std::size_t count = record.record().size();
        times.push_back(double(timer.nsecsElapsed()) / 1e6);
        cpu.push_back(cpuMs() - cpuStart);
        if (!read || count != std::size_t(lines))
            std::printf("read %zu lines\n", count);
    }
    std::printf("reading a record of %d lines: median %.1f ms, best %.1f ms of %d runs "
                "(target <= 100 ms); processor time median %.1f ms\n",
                lines, median(times), *std::min_element(times.begin(), times.end()), runs,
                median(cpu));
    return 0;
}

// The checks of an export of `tracks` small files, first into an empty folder, then (after
// the export) over the finished one: how long the plan keeps a run from starting.
int benchPlan(int tracks, bool folders)
{
    QTemporaryDir dir;
    const QString player = dir.filePath(QStringLiteral("player/"));
    const QString exported = dir.filePath(QStringLiteral("export/"));
    QDir().mkpath(exported);
    TrackTable table;
    table.reset(tracks);
    for (int k = 1; k <= tracks; ++k) {
        const QString folder = QStringLiteral("F%1").arg((k - 1) % 50, 2, 10, QLatin1Char('0'));
        const QString name = QStringLiteral("T%1.mp3").arg(k);
        QDir().mkpath(player + QStringLiteral("iPod_Control/Music/") + folder);
        QFile file(player + QStringLiteral("iPod_Control/Music/") + folder + QLatin1Char('/') +
                   name);
        if (!file.open(QIODevice::WriteOnly) || file.write(QByteArray::number(k)) < 0)
            return 1;
        Track &t = table.track(k);
        t.id = k;
        t.size = std::uint64_t(QByteArray::number(k).size());
        t.persistentId = 0x1000000000000000ull + std::uint64_t(k);
        table.setText(k, FieldTitle, QStringLiteral("Title %1").arg(k));
        table.setText(k, FieldArtist, QStringLiteral("Artist %1").arg(k % 500));
        table.setText(k, FieldAlbum, QStringLiteral("Album %1").arg(k % 4000));
        table.setText(k, FieldGenre, QStringLiteral("Genre"));
        table.setText(k, FieldLocation,
                      QStringLiteral(":iPod_Control:Music:") + folder + QLatin1Char(':') + name);
    }
    ExportRequest request;
    request.playerDrive = player;
    request.exportDirectory = exported;
    for (int k = 1; k <= tracks; ++k)
        request.marked.push_back(k);
    request.fields = defaultNameFields();
    request.options.artistAlbumFolders = folders;
    const std::unique_ptr<FileSystem> fs = createFileSystem();
    QuietHost host;
    const auto timedCheck = [&](ExportRun &run) {
        QElapsedTimer timer;
        timer.start();
        const ExportRun::Outcome outcome = run.check(table, request);
        const double ms = double(timer.nsecsElapsed()) / 1e6;
        if (outcome != ExportRun::Outcome::Ready)
            std::printf("the checks did not pass (%d)\n", int(outcome));
        return ms;
    };
    {
        ExportRun run(*fs, host);
        const double first = timedCheck(run);
        ExportProgress progress;
        QElapsedTimer timer;
        timer.start();
        const ExportReport report = run.copy(progress);
        std::printf(
            "%d tracks%s: the checks with no record %.0f ms; the export %.1f s (%d copied)\n",
            tracks, folders ? " into artist and album folders" : "", first,
            double(timer.nsecsElapsed()) / 1e9, report.copied);
    }
    std::vector<double> again;
    for (int i = 0; i < 5; ++i) {
        ExportRun run(*fs, host);
        again.push_back(timedCheck(run));
        if (i == 4) {
            ExportProgress progress;
            const ExportReport report = run.copy(progress);
            std::printf("a second run: %s\n", qPrintable(closingMessage(report).left(80)));
        }
    }
    std::printf("the checks over the finished export (record read, folders listed, copies "
                "and sources looked at): median %.0f ms, best %.0f ms of 5\n",
                median(again), *std::min_element(again.begin(), again.end()));
    return 0;
}

// An ID3v2.3 tag with a title, an artist and an album, and `padding` spare bytes.
QByteArray id3v23Tag(int k, int padding)
{
    QByteArray frames;
    for (const auto &[id, text] : {std::pair{"TIT2", QStringLiteral("Title %1").arg(k)},
                                   std::pair{"TPE1", QStringLiteral("Artist %1").arg(k % 50)},
                                   std::pair{"TALB", QStringLiteral("Album %1").arg(k % 200)}}) {
        const QByteArray data = '\0' + text.toLatin1();
        const int n = int(data.size());
        frames += QByteArray(id) + char(n >> 24) + char(n >> 16) + char(n >> 8) + char(n) +
                  QByteArray(2, 0) + data;
    }
    frames += QByteArray(padding, 0);
    const int n = int(frames.size());
    return QByteArray("ID3\x03\0\0", 6) + char((n >> 21) & 0x7f) + char((n >> 14) & 0x7f) +
           char((n >> 7) & 0x7f) + char(n & 0x7f) + frames;
}

// The same export of `files` MP3 files of `megabytes` each, without and with the history
// written into the copies' tags, alternating, each into an emptied folder with the disk
// flushed before; the sources in the page cache for both.
int benchTags(int files, int megabytes, int pairs, int padding, const QString &folder, bool covers)
{
    QTemporaryDir dir(folder.isEmpty() ? QDir::tempPath() + QStringLiteral("/bench-XXXXXX")
                                       : folder + QStringLiteral("/bench-XXXXXX"));
    const QString player = dir.filePath(QStringLiteral("player/"));
    const QString exported = dir.filePath(QStringLiteral("export/"));
    QDir().mkpath(exported);
    // MPEG frames of 417 bytes (128 kbit/s at 44.1 kHz) with random contents.
    QByteArray frames(int(qint64(megabytes) << 20) / 417 * 417, Qt::Uninitialized);
    QRandomGenerator random(7);
    random.fillRange(reinterpret_cast<quint32 *>(frames.data()), frames.size() / 4);
    for (qsizetype at = 0; at + 4 <= frames.size(); at += 417) {
        frames[at] = char(0xFF), frames[at + 1] = char(0xFB), frames[at + 2] = char(0x90);
        frames[at + 3] = 0;
    }
    TrackTable table;
    table.reset(files);
    qint64 bytes = 0;
    for (int k = 1; k <= files; ++k) {
        const QString name = QStringLiteral("T%1.mp3").arg(k);
        const QString sub = QStringLiteral("F%1").arg((k - 1) % 50, 2, 10, QLatin1Char('0'));
        QDir().mkpath(player + QStringLiteral("iPod_Control/Music/") + sub);
        QFile file(player + QStringLiteral("iPod_Control/Music/") + sub + QLatin1Char('/') + name);
        const QByteArray contents = id3v23Tag(k, padding) + frames;
        if (!file.open(QIODevice::WriteOnly) || file.write(contents) != contents.size())
            return 1;
        bytes += contents.size();
        Track &t = table.track(k);
        t.id = k;
        t.size = std::uint64_t(contents.size());
        t.persistentId = 0x1000000000000000ull + std::uint64_t(k);
        t.rating = std::uint8_t(20 * (1 + k % 5));
        t.playCount = std::uint32_t(k % 40 + 1);
        table.setText(k, FieldTitle, QStringLiteral("Title %1").arg(k));
        table.setText(k, FieldLocation,
                      QStringLiteral(":iPod_Control:Music:") + sub + QLatin1Char(':') + name);
    }
    if (covers) {
        test::TestArtwork art;
        for (int k = 1; k <= files; k += 10)
            art.images << test::TestImage{
                quint32(k),
                table.track(k).persistentId,
                {test::fitThumbnail(1060, 320, 500, 500, 0x336699u * quint32(k))}};
        if (!test::writeArtwork(player, art))
            return 1;
        auto artwork = std::make_shared<PlayerArtwork>();
        const test::BuiltArtwork built = test::buildArtwork(art);
        parseArtworkDb(test::bytesOf(built.database), *artwork);
        artwork->folder = (player + QStringLiteral("iPod_Control/Artwork/")).toStdString();
        table.setArtwork(artwork);
        for (int k = 1; k <= files; ++k)
            table.track(k).coverImage = std::uint32_t((k - 1) / 10 * 10 + 1);
    }
    flushDisks();
    QDirIterator sources(player, QDir::Files, QDirIterator::Subdirectories);
    while (sources.hasNext()) { // into the page cache, for both
        QFile file(sources.next());
        if (file.open(QIODevice::ReadOnly))
            while (!file.read(1 << 20).isEmpty()) {
            }
    }
    ExportRequest request;
    request.playerDrive = player;
    request.exportDirectory = exported;
    for (int k = 1; k <= files; ++k)
        request.marked.push_back(k);
    request.fields = defaultNameFields();
    const std::unique_ptr<FileSystem> fs = createFileSystem();
    QuietHost host;
    const auto run = [&](bool tags) {
        emptyFolder(exported);
        flushDisks();
        request.options.historyTags = covers || tags;
        request.options.covers = covers && tags;
        QElapsedTimer timer;
        timer.start();
        ExportRun exportRun(*fs, host);
        if (exportRun.check(table, request) != ExportRun::Outcome::Ready)
            std::printf("the checks did not pass\n");
        ExportProgress progress;
        const ExportReport report = exportRun.copy(progress);
        const double seconds = double(timer.nsecsElapsed()) / 1e9;
        if (report.copied != files || !report.skipped.empty())
            std::printf("%s\n", qPrintable(closingMessage(report).left(200)));
        return seconds;
    };
    run(false); // warm-up of both, not counted
    run(true);
    std::vector<double> plain, tagged, ratios;
    for (int i = 0; i < pairs; ++i) {
        const bool tagsFirst = i % 2 == 1;
        const double first = run(tagsFirst);
        const double second = run(!tagsFirst);
        plain.push_back(tagsFirst ? second : first);
        tagged.push_back(tagsFirst ? first : second);
        ratios.push_back(plain.back() / tagged.back());
        std::printf("pair %d: without tags %.3f s, with tags %.3f s\n", i + 1, plain.back(),
                    tagged.back());
    }
    const double mb = double(bytes) / (1 << 20);
    std::printf("%d MP3 files, %.0f MB, ID3v2.3 tags with %d bytes of padding%s\n", files, mb,
                padding, covers ? "; \"without\" has tags, \"with\" tags and covers" : "");
    std::printf("without tags: median %.3f s = %.0f MB/s\n", median(plain), mb / median(plain));
    std::printf("with tags:    median %.3f s = %.0f MB/s\n", median(tagged), mb / median(tagged));
    std::printf("throughput with tags / without: %.2f of the medians, %.2f median of the pairs "
                "(target >= 0.80)\n",
                median(plain) / median(tagged), median(ratios));
    return 0;
}

// sondrel-export of a whole player into an empty folder, against cp + sync of its files.
int benchCommandLine(int files, int megabytes, int pairs, const QString &under)
{
    QTemporaryDir work(under + QStringLiteral("/bench-XXXXXX"));
    if (!work.isValid())
        return 1;
    const QString player = work.filePath(QStringLiteral("player"));
    const QString exported = work.filePath(QStringLiteral("export"));
    const QString copied = work.filePath(QStringLiteral("cp"));
    QDir().mkpath(exported);
    QDir().mkpath(copied);
    const qint64 size = qint64(megabytes) << 20;
    test::TestDatabase db;
    QByteArray block(int(std::max<qint64>(size, 4)), Qt::Uninitialized);
    QRandomGenerator random(7);
    random.fillRange(reinterpret_cast<quint32 *>(block.data()), block.size() / 4);
    QStringList sources;
    for (int i = 0; i < files; ++i) {
        const QString location = QStringLiteral(":iPod_Control:Music:F%1:T%2.mp3")
                                     .arg(i % 50, 2, 10, QLatin1Char('0'))
                                     .arg(i, 4, 10, QLatin1Char('0'));
        db.tracks << test::TestTrack::make(
                         QStringLiteral("Title %1").arg(i), QStringLiteral("Artist %1").arg(i % 50),
                         QStringLiteral("Album %1").arg(i % 200), QStringLiteral("Genre"), location)
                         .withSize(qint32(size));
        block[0] = char(i);
        const QString relative = location.mid(1).replace(QLatin1Char(':'), QLatin1Char('/'));
        if (!test::writePlayerFile(player, relative, block.left(int(size))))
            return 1;
        sources << player + QLatin1Char('/') + relative;
    }
    if (!test::writePlayerFile(player, QStringLiteral("iPod_Control/iTunes/iTunesDB"),
                               test::buildDatabase(db)))
        return 1;
    flushDisks();
    for (const QString &path : sources) { // into the page cache, for both
        QFile file(path);
        if (file.open(QIODevice::ReadOnly))
            while (!file.read(1 << 20).isEmpty()) {
            }
    }
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), work.filePath(QStringLiteral("config")));
    const auto timed = [&](const QString &program, const QStringList &arguments) {
        QProcess process;
        process.setProcessEnvironment(env);
        process.setProcessChannelMode(QProcess::ForwardedChannels);
        QElapsedTimer timer;
        timer.start();
        process.start(program, arguments);
        if (!process.waitForFinished(3'600'000) || process.exitCode() != 0)
            std::printf("%s failed (%d)\n", qPrintable(program), process.exitCode());
        return double(timer.nsecsElapsed()) / 1e9;
    };
    const auto runExport = [&] {
        emptyFolder(exported);
        flushDisks();
        return timed(QStringLiteral(SONDREL_EXPORT_PROGRAM),
                     {QStringLiteral("--player"), player, QStringLiteral("--to"), exported,
                      QStringLiteral("--quiet")});
    };
    const auto runCp = [&] {
        emptyFolder(copied);
        flushDisks();
        QElapsedTimer timer;
        timer.start();
        timed(QStringLiteral("cp"), QStringList(sources) << copied);
        timed(QStringLiteral("sync"), {});
        return double(timer.nsecsElapsed()) / 1e9;
    };
    runExport(); // warm-up of both, not counted
    runCp();
    std::vector<double> exportTimes, cpTimes;
    for (int i = 0; i < pairs; ++i) {
        if (i % 2 == 0) {
            exportTimes.push_back(runExport());
            cpTimes.push_back(runCp());
        } else {
            cpTimes.push_back(runCp());
            exportTimes.push_back(runExport());
        }
        std::printf("pair %d: sondrel-export %.3f s, cp + sync %.3f s\n", i + 1, exportTimes.back(),
                    cpTimes.back());
    }
    const double totalMb = double(size) * files / (1 << 20);
    std::vector<double> ratios;
    for (std::size_t i = 0; i < exportTimes.size(); ++i)
        ratios.push_back(cpTimes[i] / exportTimes[i]);
    std::printf("%d files x %d MB = %.0f MB\nsondrel-export: median %.3f s = %.0f MB/s\n"
                "cp + sync: median %.3f s = %.0f MB/s\n"
                "sondrel-export / (cp + sync) throughput: %.2f of the medians, %.2f median of "
                "the pairs (target >= 0.90)\n",
                files, megabytes, totalMb, median(exportTimes), totalMb / median(exportTimes),
                median(cpTimes), totalMb / median(cpTimes), median(cpTimes) / median(exportTimes),
                median(ratios));
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Sondrel"));
    if (argc > 1 && QLatin1String(argv[1]) == QLatin1String("--record"))
        return benchRecord(argc > 2 ? atoi(argv[2]) : 40000, argc > 3 ? atoi(argv[3]) : 20);
    if (argc > 1 && QLatin1String(argv[1]) == QLatin1String("--tags"))
        return benchTags(
            argc > 2 ? std::max(1, atoi(argv[2])) : 200, argc > 3 ? std::max(1, atoi(argv[3])) : 4,
            argc > 4 ? std::max(1, atoi(argv[4])) : 5, argc > 5 ? std::max(0, atoi(argv[5])) : 0,
            argc > 6 ? QString::fromLocal8Bit(argv[6]) : QString(),
            argc > 7 && QLatin1String(argv[7]) == QLatin1String("covers"));
    if (argc > 1 && QLatin1String(argv[1]) == QLatin1String("--cli"))
        return benchCommandLine(argc > 2 ? std::max(1, atoi(argv[2])) : 1000,
                                argc > 3 ? std::max(0, atoi(argv[3])) : 2,
                                argc > 4 ? std::max(1, atoi(argv[4])) : 5,
                                argc > 5 ? QString::fromLocal8Bit(argv[5]) : QDir::tempPath());
    if (argc > 1 && QLatin1String(argv[1]) == QLatin1String("--plan"))
        return benchPlan(argc > 2 ? atoi(argv[2]) : 40000,
                         argc > 3 && QLatin1String(argv[3]) == QLatin1String("folders"));
    const int files = argc > 1 ? std::max(1, atoi(argv[1])) : 1000;
    const int megabytes =
        argc > 2 ? std::max(0, atoi(argv[2])) : 2; // 0: empty files, to see the cost per file
    const int pairs = argc > 3 ? std::max(1, atoi(argv[3])) : 5;
    const bool sorted = argc > 5 && QLatin1String(argv[5]) == QLatin1String("folders");
    QTemporaryDir work(argc > 4 ? QString::fromLocal8Bit(argv[4]) + QStringLiteral("/bench-XXXXXX")
                                : QDir::tempPath() + QStringLiteral("/bench-XXXXXX"));
    if (!work.isValid()) {
        std::fprintf(stderr, "cannot make the work folder\n");
        return 1;
    }
    const QString player = work.filePath(QStringLiteral("player"));
    const QString exported = work.filePath(QStringLiteral("export"));
    const QString copied = work.filePath(QStringLiteral("cp"));
    QDir().mkpath(exported);
    QDir().mkpath(copied);

    // The player: files spread over folders F00.. as the player keeps them.
    const qint64 size = qint64(megabytes) << 20;
    QStringList sources;
    {
        QByteArray block(int(std::max<qint64>(size, 4)), Qt::Uninitialized);
        QRandomGenerator random(7);
        random.fillRange(reinterpret_cast<quint32 *>(block.data()), block.size() / 4);
        for (int i = 0; i < files; ++i) {
            const QString folder = QStringLiteral("%1/iPod_Control/Music/F%2")
                                       .arg(player)
                                       .arg(i % 50, 2, 10, QLatin1Char('0'));
            QDir().mkpath(folder);
            const QString path =
                QStringLiteral("%1/T%2.mp3").arg(folder).arg(i, 4, 10, QLatin1Char('0'));
            QFile file(path);
            block[0] = char(i); // every file its own
            const QByteArray contents = block.left(int(size));
            if (!file.open(QIODevice::WriteOnly) || file.write(contents) != contents.size()) {
                std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
                return 1;
            }
            sources << path;
        }
    }
    flushDisks();
    for (const QString &path : sources) { // into the page cache, for both
        QFile file(path);
        if (file.open(QIODevice::ReadOnly))
            while (!file.read(1 << 20).isEmpty()) {
            }
    }

    // The window, with every track marked.
    FrmMain window({}, test::freshSettings());
    window.state().setPlayerDrive(player + QLatin1Char('/'));
    window.state().setExportDirectory(exported + QLatin1Char('/'));
    TrackTable &table = window.trackTable();
    table.reset(files);
    for (int k = 1; k <= files; ++k) {
        Track &t = table.track(k);
        t.id = k;
        t.size = std::uint64_t(size);
        t.duration = 180000;
        table.setText(k, FieldTitle, QStringLiteral("Title %1").arg(k));
        table.setText(k, FieldArtist, QStringLiteral("Artist %1").arg(k % 50));
        table.setText(k, FieldAlbum, QStringLiteral("Album %1").arg(k % 200));
        table.setText(k, FieldGenre, QStringLiteral("Genre"));
        table.setText(k, FieldLocation,
                      QStringLiteral(":iPod_Control:Music:F%1:T%2.mp3")
                          .arg((k - 1) % 50, 2, 10, QLatin1Char('0'))
                          .arg(k - 1, 4, 10, QLatin1Char('0')));
    }
    if (sorted) {
        std::vector<Playlist> playlists(20);
        for (int p = 0; p < 20; ++p) {
            playlists[std::size_t(p)].title = QStringLiteral("Playlist %1").arg(p + 1);
            for (int k = 1 + p; k <= files; k += 10)
                playlists[std::size_t(p)].tracks.push_back(k);
        }
        table.setPlaylists(std::move(playlists));
        window.state().setNameFields(window.state().nameFields(), window.state().exportName(),
                                     ExportOptions{true, true});
    }
    TrackGrid *grid = window.MSFlexGridSoundList;
    fillTrackGrid(window);
    window.BtnSelSound->setEnabled(true);
    window.BtnExport->setEnabled(true);
    window.show();
    if (!QTest::qWaitForWindowExposed(&window))
        std::printf("the window was not shown\n");
    grid->setRow(1);
    grid->setRowSel(files);
    QTest::mouseClick(window.BtnSelSound, Qt::LeftButton);

    const double totalMb = double(size) * files / (1 << 20);
    std::vector<double> stalls;
    std::vector<double> secondRuns;
    // A click on "Export selected file(s)", and the run to its end (its closing message
    // answered).
    const auto exportAndWait = [&] {
        QSignalSpy ended(&window, &FrmMain::exportEnded);
        QTest::mouseClick(window.BtnExport, Qt::LeftButton);
        if (ended.isEmpty())
            ended.wait(600000);
    };
    // The same export once more over the finished folder: nothing to copy.
    const auto runAgain = [&] {
        sondrel::test::ModalAnswerer answerer;
        QElapsedTimer timer;
        timer.start();
        exportAndWait();
        secondRuns.push_back(double(timer.nsecsElapsed()) / 1e9);
        answerer.waitFor(1);
        const QString expected =
            QStringLiteral("0 of %1 files exported; %1 were already there.").arg(files);
        if (answerer.lastText() != expected)
            std::printf("the second run said: %s\n", qPrintable(answerer.lastText().left(200)));
    };
    const auto runExport = [&] {
        emptyFolder(exported);
        flushDisks();
        sondrel::test::ModalAnswerer answerer;
        QElapsedTimer timer;
        StallMeter meter;
        QCoreApplication::processEvents(); // the meter's first tick
        timer.start();
        exportAndWait();
        const double seconds = double(timer.nsecsElapsed()) / 1e9;
        answerer.waitFor(1);
        stalls.push_back(meter.longest());
        if (answerer.lastText() != QStringLiteral("Files exported successfully"))
            std::printf("export said: %s\n", qPrintable(answerer.lastText()));
        return seconds;
    };
    // cp and sync run while this thread waits in its event loop: the meter then shows how
    // long the machine itself keeps an idle window's thread waiting.
    std::vector<double> idleStalls;
    const auto runProgram = [](const QString &program, const QStringList &arguments) {
        QProcess process;
        QEventLoop loop;
        QObject::connect(&process, &QProcess::finished, &loop, &QEventLoop::quit);
        process.start(program, arguments);
        if (!process.waitForStarted())
            return -1;
        loop.exec();
        return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    };
    const auto runCp = [&] {
        emptyFolder(copied);
        flushDisks();
        QElapsedTimer timer;
        StallMeter meter;
        QCoreApplication::processEvents();
        timer.start();
        const int rc = runProgram(QStringLiteral("cp"), QStringList(sources) << copied);
        const int synced = runProgram(QStringLiteral("sync"), {});
        const double seconds = double(timer.nsecsElapsed()) / 1e9;
        idleStalls.push_back(meter.longest());
        if (rc != 0 || synced != 0)
            std::printf("cp or sync failed (%d, %d)\n", rc, synced);
        return seconds;
    };

    std::vector<double> exportTimes, cpTimes;
    runExport(); // warm-up of both, not counted
    runCp();
    stalls.clear();
    idleStalls.clear();
    for (int i = 0; i < pairs; ++i) {
        if (i % 2 == 0) {
            exportTimes.push_back(runExport());
            runAgain();
            cpTimes.push_back(runCp());
        } else {
            cpTimes.push_back(runCp());
            exportTimes.push_back(runExport());
            runAgain();
        }
        std::printf("pair %d: export %.3f s (longest stall %.1f ms), again %.3f s, cp + sync "
                    "%.3f s (idle window's longest stall %.1f ms)\n",
                    i + 1, exportTimes.back(), stalls.back(), secondRuns.back(), cpTimes.back(),
                    idleStalls.back());
    }
    const double exportRate = totalMb / median(exportTimes);
    const double cpRate = totalMb / median(cpTimes);
    std::printf("%d files x %d MB = %.0f MB%s\n", files, megabytes, totalMb,
                sorted ? ", exported into artist and album folders with 20 playlists" : "");
    std::printf("export:    median %.3f s = %.0f MB/s\n", median(exportTimes), exportRate);
    std::printf("cp + sync: median %.3f s = %.0f MB/s\n", median(cpTimes), cpRate);
    std::vector<double> ratios;
    for (std::size_t i = 0; i < exportTimes.size(); ++i)
        ratios.push_back(cpTimes[i] / exportTimes[i]);
    std::printf("export / (cp + sync) throughput: %.2f of the medians, %.2f median of the pairs "
                "(target >= 0.90)\n",
                exportRate / cpRate, median(ratios));
    std::vector<double> shares;
    for (std::size_t i = 0; i < exportTimes.size(); ++i)
        shares.push_back(secondRuns[i] / exportTimes[i] * 100);
    std::printf("a second run over the finished export: median %.3f s = %.1f%% of the first "
                "(median of the pairs %.1f%%; target <= 3%%)\n",
                median(secondRuns), median(secondRuns) / median(exportTimes) * 100, median(shares));
    std::printf("longest stall of the window's thread: %.1f ms median, %.1f ms worst "
                "(target <= 50 ms)\n",
                median(stalls), *std::max_element(stalls.begin(), stalls.end()));
    std::printf("the same for an idle window while cp + sync run: %.1f ms median, %.1f ms worst\n",
                median(idleStalls), *std::max_element(idleStalls.begin(), idleStalls.end()));
    return 0;
}
