// The whole "Check for sound files" action (staging, record walk, grid fill) on
// generated players of 5,000 and 40,000 tracks, headless. Each size runs in a child
// process of its own so that the peak resident memory of one does not hide the other.
//
//   bench_check [runs]          builds the players in a temporary folder and reports
//   bench_check --run DRIVE DIR RUNS   (internal) checks one player RUNS times
//   bench_check --make FOLDER TRACKS   makes FOLDER/player and FOLDER/export, for profiling
//   bench_check --show SECONDS         opens the window on the machine's own drives, presses
//                                      "Check for sound files", answers each message after three
//                                      seconds and stays open SECONDS (for screenshots)

#include "frmmain.h"
#include "itunesdbbuilder.h"
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
#include <random>

using namespace sondrel;
using namespace sondrel::test;

namespace {

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

// Plausible track data: a few thousand artists and albums, two dozen genres, titles of
// a few words with some accented and Japanese ones, comments of varied length, track,
// disc and year numbers, and the playlists: the master one and one per 1,600 tracks.
TestDatabase makePlayer(int tracks)
{
    std::mt19937 random(20240611u + unsigned(tracks));
    const auto pick = [&](int n) { return int(random() % unsigned(n)); };
    static const char *const words[] = {
        "love",  "night", "river",    "golden", "heart",  "fire",   "summer",  "road",
        "dream", "city",  "blue",     "rain",   "light",  "shadow", "morning", "wild",
        "song",  "home",  "electric", "ocean",  "silver", "stone",  "paper",   "winter",
        "dance", "ghost", "echo",     "radio",  "garden", "street"};
    static const char *const genres[] = {
        "Rock",    "Pop",   "Jazz", "Classical", "Electronic",  "Hip-Hop", "Folk",    "Blues",
        "Country", "Metal", "Soul", "Reggae",    "Alternative", "Indie",   "Ambient", "Soundtrack",
        "Latin",   "Funk",  "Punk", "R&B",       "World",       "Gospel",  "Techno",  "House"};
    static const char *const fileTypes[] = {"MPEG audio file", "AAC audio file",
                                            "Purchased AAC audio file", "Apple Lossless audio file",
                                            "WAV audio file"};
    static const char *const extensions[] = {"mp3", "m4a", "m4p", "m4a", "wav"};
    const QString foreign[] = {QString::fromUtf8("Café"),
                               QString::fromUtf8("Über"),
                               QString::fromUtf8("君の知らない物語"),
                               QString::fromUtf8("“Quoted”"),
                               QString::fromUtf8("Señorita"),
                               QString::fromUtf8("終わりへ")};
    const auto phrase = [&](int count) {
        QStringList parts;
        for (int i = 0; i < count; ++i) {
            QString w = QString::fromLatin1(words[pick(30)]);
            w[0] = w[0].toUpper();
            parts << (pick(20) == 0 ? foreign[pick(6)] : w);
        }
        return parts.join(QLatin1Char(' '));
    };

    const int artistCount = std::max(1, tracks / 20);
    const int albumCount = std::max(1, tracks / 10);
    QStringList artists, albums;
    for (int i = 0; i < artistCount; ++i)
        artists << phrase(1 + pick(3)) + (pick(4) == 0 ? QStringLiteral(" & The Band") : QString());
    for (int i = 0; i < albumCount; ++i)
        albums << phrase(2 + pick(4));

    TestDatabase db;
    db.dataSets = TestDatabase::modernOrder();
    db.tracks.reserve(tracks);
    static const char letters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ";
    for (int j = 0; j < tracks; ++j) {
        const int kind = pick(5);
        QString name;
        for (int i = 0; i < 4; ++i)
            name += QLatin1Char(letters[pick(26)]);
        const QString location = QStringLiteral(":iPod_Control:Music:F%1:%2.%3")
                                     .arg(pick(50), 2, 10, QLatin1Char('0'))
                                     .arg(name, QLatin1String(extensions[kind]));
        const QString artist = artists[pick(artistCount)];
        const QString title = phrase(1 + pick(6));
        const QString album = albums[pick(albumCount)];
        TestTrack t = TestTrack::make(title, artist, album, QString::fromLatin1(genres[pick(24)]),
                                      location, QString::fromLatin1(fileTypes[kind]));
        t.withSize(1'000'000 + pick(12'000'000)).withDuration(60'000 + pick(540'000));
        t.withComment(pick(3) == 0 ? QString() : phrase(8 + pick(18)));
        if (pick(2) == 0)
            t.withString(13, phrase(2 + pick(3))); // grouping
        t.withString(12, phrase(2));               // composer
        t.withString(27, title);                   // sort title
        t.withString(23, artist);                  // sort artist
        t.withString(24, album);                   // sort album
        if (pick(3) == 0)
            t.withString(StringAlbumArtist, artists[pick(artistCount)]);
        t.trackNumber = 1 + pick(16);
        t.discNumber = pick(4) == 0 ? 1 + pick(2) : 0;
        t.year = pick(5) == 0 ? 0 : 1960 + pick(65);
        db.tracks << t;
    }
    // The master playlist (every track) and a few dozen playlists of up to 2,000 tracks.
    db.playlists << db.masterPlaylist();
    for (int p = 0; p < std::max(1, tracks / 1600); ++p) {
        TestPlaylist playlist;
        playlist.title = phrase(1 + pick(3));
        const int size = 10 + pick(std::min(tracks, 2000));
        for (int i = 0; i < size; ++i)
            playlist.items << db.uniqueIdOf(pick(tracks));
        db.playlists << playlist;
    }
    return db;
}

// Answers every message box as soon as it shows and notes when the first one showed.
class AutoAnswer : public QObject
{
public:
    QElapsedTimer *clock = nullptr;
    qint64 shownAtNs = -1;
    QString text;

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Show) {
            if (auto *box = qobject_cast<QMessageBox *>(watched)) {
                if (shownAtNs < 0) {
                    shownAtNs = clock->nsecsElapsed();
                    text = box->text();
                }
                QTimer::singleShot(0, box, [box] { box->button(QMessageBox::Ok)->click(); });
            }
        }
        return false;
    }
};

// The child: runs the action `runs` times and prints "seconds... peakBytes".
int runChecks(const QString &drive, const QString &dir, int runs)
{
    FrmMain window;
    window.state().setDfltDrive(drive);
    window.state().setDfltDir(dir);
    window.show();
    QApplication::processEvents();

    AutoAnswer answer;
    qApp->installEventFilter(&answer);
    QStringList seconds;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer clock;
        answer.clock = &clock;
        answer.shownAtNs = -1;
        clock.start();
        window.BtnUpdate->click();
        if (!answer.text.startsWith(QStringLiteral("Updated in "))) {
            std::fprintf(stderr, "unexpected message: %s\n", qPrintable(answer.text));
            return 1;
        }
        seconds << QString::number(double(answer.shownAtNs) / 1e9, 'f', 4);
        QApplication::processEvents();
    }
    std::printf("%s %lld %d\n", qPrintable(seconds.join(QLatin1Char(','))),
                qint64(peakResidentBytes()), window.MSFlexGridSoundList->Rows() - 1);
    return 0;
}

int showWindow(int seconds)
{
    FrmMain window;
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

int report(int runs)
{
    QTemporaryDir work;
    if (!work.isValid())
        return 1;
    std::printf("Check for sound files, whole action, headless; %d runs per size (each size in its "
                "own process)\n",
                runs);
    std::printf("%8s %10s %9s %9s %9s %10s %10s\n", "tracks", "database", "median", "min", "max",
                "peak RSS", "RSS limit");
    bool met = true;
    for (const int tracks : {5000, 40000}) {
        const QString player = work.filePath(QStringLiteral("player%1").arg(tracks));
        const QString exportDir = work.filePath(QStringLiteral("export%1").arg(tracks));
        qint64 dbSize = 0;
        {
            const QByteArray db = buildDatabase(makePlayer(tracks));
            dbSize = db.size();
            if (!writePlayer(player, db) || !QDir().mkpath(exportDir))
                return 1;
        }
        QProcess child;
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        child.start(QCoreApplication::applicationFilePath(),
                    {QStringLiteral("--run"), player + QLatin1Char('/'),
                     exportDir + QLatin1Char('/'), QString::number(runs)});
        if (!child.waitForFinished(600'000) || child.exitCode() != 0) {
            std::fprintf(stderr, "the child for %d tracks failed\n", tracks);
            return 1;
        }
        const QList<QByteArray> out = child.readAllStandardOutput().trimmed().split(' ');
        std::vector<double> times;
        for (const QByteArray &t : out.value(0).split(','))
            times.push_back(t.toDouble());
        const qint64 peak = out.value(1).toLongLong();
        const qint64 limit = 3 * dbSize + 64 * 1024 * 1024;
        const double mid = median(times);
        std::printf("%8d %7.1f MB %7.3f s %7.3f s %7.3f s %7.1f MB %7.1f MB   (%s rows)\n", tracks,
                    dbSize / 1048576.0, mid, *std::min_element(times.begin(), times.end()),
                    *std::max_element(times.begin(), times.end()), peak / 1048576.0,
                    limit / 1048576.0, out.value(2).constData());
        if (tracks == 40000)
            met = mid <= 1.0 && peak <= limit;
        else
            met = met && peak <= limit;
    }
    std::printf("targets (40,000 tracks: median <= 1.0 s; peak RSS <= 3 x database + 64 MB): %s\n",
                met ? "met" : "NOT met");
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
    if (args.size() == 3 && args[1] == QLatin1String("--show"))
        return showWindow(args[2].toInt());
    if (args.size() == 4 && args[1] == QLatin1String("--make")) {
        const QDir folder(args[2]);
        return writePlayer(folder.filePath(QStringLiteral("player")),
                           makePlayer(args[3].toInt())) &&
                       folder.mkpath(QStringLiteral("export"))
                   ? 0
                   : 1;
    }
    return report(args.size() > 1 ? std::max(1, args[1].toInt()) : 7);
}
