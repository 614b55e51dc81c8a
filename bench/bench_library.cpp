// The library file for a player of 40,000 tracks with their history and 25 playlists:
// the file's bytes alone (libraryXml), and the end of a run (its copies, playlists,
// library file and record) into an export folder holding a recorded copy of every track,
// with and without the file: the difference is what the file costs (the copies found
// through the folder's record, the bytes made, placed through the record and flushed).
//
//   bench_library [tracks] [runs]     defaults: 40000 tracks, 5 runs; target: at most 1 s

#include "exportrecord.h"
#include "exportrun.h"
#include "filesystem_posix.h"
#include "libraryfile.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <random>

#include <ctime>

using namespace sondrel;

namespace {

class QuietHost : public ExportHost
{
public:
    void message(const QString &text) override { std::fprintf(stderr, "%s\n", qPrintable(text)); }
    void failure(const PlatformError &error) override
    {
        std::fprintf(stderr, "%s\n", error.description().c_str());
    }
    void setBusy(bool) override {}
};

TrackTable makeTable(int n)
{
    std::mt19937 random(40000);
    const auto pick = [&](int m) { return int(random() % unsigned(m)); };
    static const char *const words[] = {
        "Love",  "Night", "River", "Golden", "Heart", "Fire",     "Summer",      "Road",
        "Dream", "City",  "Blue",  "Rain",   "Café",  "Señorita", "Rock & Roll", "<Live>"};
    const auto phrase = [&](int count) {
        QString text;
        for (int i = 0; i < count; ++i)
            text += (i ? QStringLiteral(" ") : QString()) + QString::fromUtf8(words[pick(16)]);
        return text;
    };
    TrackTable table;
    table.reset(n);
    for (int k = 1; k <= n; ++k) {
        Track &t = table.track(k);
        t.id = k;
        t.size = 3'000'000 + std::uint64_t(pick(9'000'000));
        t.duration = 60'000 + pick(400'000);
        t.trackNumber = 1 + std::uint32_t(pick(16));
        t.year = 1960 + std::uint32_t(pick(64));
        t.persistentId = 0x1000'0000'0000ull + std::uint64_t(k);
        t.rating = std::uint8_t(20 * pick(6));
        t.dateAdded = 3'300'000'000u + std::uint32_t(pick(378'000'000));
        if (pick(3)) {
            t.playCount = 1 + std::uint32_t(pick(300));
            t.lastPlayed = t.dateAdded + std::uint32_t(pick(10'000'000));
        }
        if (pick(4) == 0) {
            t.skipCount = 1 + std::uint32_t(pick(9));
            t.lastSkipped = t.dateAdded + std::uint32_t(pick(10'000'000));
        }
        table.setText(k, FieldTitle, phrase(1 + pick(5)));
        table.setText(k, FieldArtist, phrase(2));
        table.setText(k, FieldAlbum, phrase(3));
        table.setText(k, FieldGenre, QString::fromUtf8(words[pick(16)]));
        table.setText(k, FieldComment, pick(3) ? QString() : phrase(10));
        table.setText(k, FieldComposer, phrase(2));
        table.setText(k, FieldLocation,
                      QStringLiteral(":iPod_Control:Music:F%1:T%2.mp3")
                          .arg(k % 50, 2, 10, QLatin1Char('0'))
                          .arg(k));
    }
    std::vector<Playlist> playlists;
    for (int p = 0; p < 25; ++p) {
        Playlist list{phrase(2), {}};
        for (int i = 0; i < 1000; ++i)
            list.tracks.push_back(1 + pick(n));
        playlists.push_back(std::move(list));
    }
    table.setPlaylists(std::move(playlists));
    return table;
}

// Processor time of the whole process, every thread counted, in seconds: on a machine
// shared with other work it tells more than the time on the clock.
double processSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int n = argc > 1 ? std::max(1, atoi(argv[1])) : 40000;
    const int runs = argc > 2 ? std::max(1, atoi(argv[2])) : 5;
    QTemporaryDir work;
    const QString exportDir = work.filePath(QStringLiteral("export")) + QLatin1Char('/');
    const QString player = work.filePath(QStringLiteral("player")) + QLatin1Char('/');
    QDir().mkpath(exportDir);
    QDir().mkpath(player + QStringLiteral("iPod_Control/Music/F01"));
    const TrackTable table = makeTable(n);

    // The bytes alone.
    std::vector<LibraryCopy> copies(static_cast<std::size_t>(n));
    for (int k = 1; k <= n; ++k)
        copies[std::size_t(k - 1)].path = exportDir.toStdString() + "Artist Name/Album Title/" +
                                          table.text(k, FieldTitle).toStdString() + ".mp3";
    std::vector<double> build;
    std::vector<double> buildCpu;
    qsizetype bytes = 0;
    for (int r = 0; r < runs; ++r) {
        QElapsedTimer clock;
        clock.start();
        const double cpu = processSeconds();
        bytes =
            libraryXml(table, copies, exportDir.toStdString(), '/', QDateTime::currentDateTimeUtc())
                .size();
        build.push_back(double(clock.nsecsElapsed()) / 1e9);
        buildCpu.push_back(processSeconds() - cpu);
    }

    // The export folder: a recorded copy of every track but the first, which a run copies.
    ExportRecord record = *ExportRecord::parse({});
    for (int k = 2; k <= n; ++k) {
        const QString name =
            QStringLiteral("F%1/T%2.mp3").arg(k % 50, 2, 10, QLatin1Char('0')).arg(k);
        QDir().mkpath(exportDir + name.left(3));
        QFile file(exportDir + name);
        if (!file.open(QIODevice::WriteOnly))
            return 1;
        RecordLine line;
        line.path = name.toStdString();
        line.kind = RecordTrack;
        line.key = recordKey(table, k);
        record.put(std::move(line));
    }
    QFile recordFile(exportDir + QLatin1String(ExportRecordFileName));
    if (!recordFile.open(QIODevice::WriteOnly) || recordFile.write(record.text()) < 0)
        return 1;
    recordFile.close();
    QFile source(player + QStringLiteral("iPod_Control/Music/F01/T1.mp3"));
    if (!source.open(QIODevice::WriteOnly) || source.write("sound") != 5)
        return 1;
    source.close();

    PosixFileSystem fs;
    QuietHost host;
    ExportRequest request;
    request.playerDrive = player;
    request.exportDirectory = exportDir;
    request.marked = {1};
    request.fields = defaultNameFields();
    // Runs with and without the file take turns; the end of a run (copy()) is timed.
    std::vector<double> with;
    std::vector<double> without;
    std::vector<double> cost;
    std::vector<double> withCpu;
    std::vector<double> withoutCpu;
    std::vector<double> costCpu;
    for (int r = 0; r < 2 * runs; ++r) {
        request.options.libraryFile = r % 2 == 0;
        ExportRun run(fs, host);
        if (run.check(table, request) != ExportRun::Outcome::Ready)
            return 1;
        ExportProgress progress;
        QElapsedTimer clock;
        clock.start();
        const double cpu = processSeconds();
        const ExportReport report = run.copy(progress);
        (request.options.libraryFile ? with : without)
            .push_back(double(clock.nsecsElapsed()) / 1e9);
        (request.options.libraryFile ? withCpu : withoutCpu).push_back(processSeconds() - cpu);
        if (!report.skipped.empty())
            return 1;
        if (!request.options.libraryFile) {
            cost.push_back(with.back() - without.back());
            costCpu.push_back(withCpu.back() - withoutCpu.back());
        }
    }
    const QFileInfo written(exportDir + QLatin1String(LibraryFileName));
    const auto range = [](const std::vector<double> &v) {
        return QStringLiteral("median %1 s (min %2, max %3)")
            .arg(median(v), 0, 'f', 3)
            .arg(*std::min_element(v.begin(), v.end()), 0, 'f', 3)
            .arg(*std::max_element(v.begin(), v.end()), 0, 'f', 3);
    };
    std::printf("library file, %d tracks, %d playlists, %.1f MB, %d runs; time on the clock, "
                "then processor time:\n"
                "  libraryXml (the bytes)               %s; cpu %s\n"
                "  end of a run, with the file          %s; cpu %s\n"
                "  end of a run, without it             %s; cpu %s\n"
                "  what the file costs (with - without) %s; cpu %s\n"
                "target (the file's cost <= 1 s): %s\n",
                n, int(table.playlists().size()), double(bytes) / 1048576.0, runs,
                qPrintable(range(build)), qPrintable(range(buildCpu)), qPrintable(range(with)),
                qPrintable(range(withCpu)), qPrintable(range(without)),
                qPrintable(range(withoutCpu)), qPrintable(range(cost)), qPrintable(range(costCpu)),
                written.size() > 0 && median(cost) <= 1.0 ? "met" : "NOT met");
    return 0;
}
