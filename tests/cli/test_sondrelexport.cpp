// sondrel-export run end to end, as a program, on generated players: what it copies and
// under which names, its exit status, a dry run that writes nothing, and Ctrl+C mid-run.
#include "itunesdbbuilder.h"
#include "keptsettings.h"
#include "testmain.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

using namespace sondrel;
using namespace sondrel::test;

namespace {

// Every file and folder below `root`, "/" between names, sorted.
QStringList contentsOf(const QString &root)
{
    QStringList found;
    QDirIterator it(root, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        found << QDir(root).relativeFilePath(it.next());
    found.sort();
    return found;
}

} // namespace

class TestSondrelExport : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString m_player;  // Hi (Road), Été and Gone (Summer); Gone's file is missing
    QString m_folder;  // the same player copied to disk, "ipod_control" in lower case
    QString m_damaged; // a database that announces more tracks than it holds
    QString m_export;  // empty before each case
    QString m_config;  // the kept settings' folder (XDG_CONFIG_HOME)

    struct Run
    {
        int code = -1;
        QString out;
        QString err;
    };

    QProcessEnvironment environment() const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("HOME", m_dir.filePath("home"));
        env.insert("XDG_CONFIG_HOME", m_config);
        env.insert("LC_ALL", "C.UTF-8");
        return env;
    }

    QStringList expanded(const QStringList &arguments) const
    {
        QStringList out;
        for (QString argument : arguments)
            out << argument.replace("$P", m_player)
                       .replace("$L", m_folder)
                       .replace("$D", m_damaged)
                       .replace("$E", m_export);
        return out;
    }

    Run run(const QStringList &arguments, const QString &timeZone = QString()) const
    {
        QProcess process;
        QProcessEnvironment env = environment();
        if (!timeZone.isEmpty())
            env.insert("TZ", timeZone);
        process.setProcessEnvironment(env);
        process.start(SONDREL_EXPORT_PROGRAM, expanded(arguments));
        Run result;
        if (!process.waitForFinished(60000))
            return result;
        result.code = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        result.out = QString::fromUtf8(process.readAllStandardOutput());
        result.err = QString::fromUtf8(process.readAllStandardError());
        return result;
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        TestDatabase db;
        db.dataSets = TestDatabase::modernOrder();
        db.tracks << TestTrack::make("Hi", "Ann", "Road", "Rock", ":iPod_Control:Music:F00:AB.mp3")
                         .withContents("first file");
        db.tracks.last().rating = 60;
        db.tracks.last().playCount = 2;
        db.tracks << TestTrack::make("Été", "Björk", "Vespertine", "Pop",
                                     ":iPod_Control:Music:F01:CD.m4a")
                         .withContents("second file")
                         .withDuration(180000);
        db.tracks.last().persistentId = 0x0123456789ABCDEF;
        db.tracks.last().year = 2001;
        db.tracks.last().trackNumber = 7;
        db.tracks.last().skipCount = 4;
        db.tracks.last().dateAdded = 3787366339; // 2024-01-06 06:12:19 on the player's clock
        db.tracks << TestTrack::make("Gone", "Cy", "Lost", "Pop", ":iPod_Control:Music:F02:EF.mp3")
                         .withContents("third file");
        TestPlaylist road{"Road", {100}};
        TestPlaylist summer{"Summer", {101, 102}};
        db.playlists << db.masterPlaylist() << road << summer;

        m_player = m_dir.filePath("player");
        m_folder = m_dir.filePath("folder");
        m_damaged = m_dir.filePath("damaged");
        for (const QString &root : {m_player, m_folder, m_damaged})
            QVERIFY(QDir().mkpath(root));
        QVERIFY(writePlayer(m_player, db));
        QVERIFY(QFile::remove(m_player + "/iPod_Control/Music/F02/EF.mp3"));
        // Three plays of "Hi" since the last sync.
        QVERIFY(writePlayerFile(m_player, "iPod_Control/iTunes/Play Counts",
                                buildPlayCounts({{3}, {}, {}})));
        QVERIFY(writePlayer(m_folder, db));
        QVERIFY(QDir(m_folder).rename("iPod_Control", "ipod_control"));
        db.announcedTracks = 5;
        QVERIFY(writePlayer(m_damaged, db));
        m_config = m_dir.filePath("config");
    }

    void init()
    {
        m_export = m_dir.filePath("export");
        QVERIFY(QDir(m_export).removeRecursively());
        QVERIFY(QDir().mkpath(m_export));
        QVERIFY(QDir(m_config).removeRecursively());
    }

    void exitStatus_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("keptByWindow"); // names "Title" and the folder $E kept
        QTest::addColumn<int>("code");
        QTest::addColumn<QStringList>("written"); // below $E
        QTest::addColumn<QString>("said");        // in stderr, or else stdout

        const QString errors = "Sondrel export errors.txt";
        const QString record = ".sondrel-record.tsv";
        QTest::newRow("all, one missing")
            << QStringList{"--player", "$P", "--to", "$E"} << false << 1
            << QStringList{"Pop_Björk_Été_Vespertine_2.m4a", "Rock_Ann_Hi_Road_1.mp3", record,
                           errors}
            << "Gone: missing on the iPod";
        QTest::newRow("playlists and find")
            << QStringList{"--player", "$P",         "--to", "$E",     "--playlist",
                           "Summer",   "--playlist", "Road", "--find", "BJORK"}
            << false << 0 << QStringList{"Pop_Björk_Été_Vespertine_2.m4a", record} << "";
        QTest::newRow("a folder as the player, names, folders, playlists")
            << QStringList{"--player",     "$L",        "--to",        "$E",         "--names",
                           "title,Artist", "--folders", "--playlists", "--playlist", "Road"}
            << false << 0
            << QStringList{"Ann", "Ann/Road", "Ann/Road/Hi_Ann.mp3", "Road.m3u8", record} << "";
        QTest::newRow("the window's kept folder and names")
            << QStringList{"--player", "$P", "--playlist", "Road"} << true << 0
            << QStringList{"Hi.mp3", record} << "";
        QTest::newRow("nothing found")
            << QStringList{"--player", "$P", "--to", "$E", "--find", "zzz"} << false << 0
            << QStringList{} << "No files were selected";
        QTest::newRow("unknown playlist")
            << QStringList{"--player", "$P", "--to", "$E", "--playlist", "road"} << false << 64
            << QStringList{} << "no playlist titled \"road\"";
        QTest::newRow("names without Title")
            << QStringList{"--player", "$P", "--names", "Artist"} << false << 64 << QStringList{}
            << "Usage: sondrel-export";
        QTest::newRow("not a player") << QStringList{"--player", "$E", "--to", "$E"} << false << 66
                                      << QStringList{} << "export/ holds no iPod database";
        QTest::newRow("damaged") << QStringList{"--player", "$D", "--to", "$E"} << false << 74
                                 << QStringList{} << "Sondrel couldn't read the iPod database";
        QTest::newRow("list")
            << QStringList{"--player", "$P", "--list", "--find", "hi"} << false << 0
            << QStringList{}
            << "ID\tTitle\tArtist\tAlbum\tGenre\tComment\tDuration\tSize (Kb)\t"
               "File Type\tTrack\tDisc\tYear\tAlbum Artist\tComposer\tRating\tPlays\t"
               "Skips\tLast Played\tDate Added\tCover\tExport Name\n"
               "1\tHi\tAnn\tRoad\tRock\t\t00:00:00\t0.01\t\t\t\t\t\t\t★★★\t5\t\t\t\t\t"
               "Rock_Ann_Hi_Road_1.mp3\n";
        QTest::newRow("list as JSON")
            << QStringList{"--player", "$P", "--list", "--format", "json", "--find", "ete"} << false
            << 0 << QStringList{}
            << "\"title\": \"Été\", \"artist\": \"Björk\", \"album\": \"Vespertine\"";
        QTest::newRow("an empty JSON listing")
            << QStringList{"--player", "$P", "--list", "--format", "json", "--find", "zzz"} << false
            << 0 << QStringList{} << "[]\n";
        QTest::newRow("an export directory that cannot be made")
            << QStringList{"--player", "$P", "--to", "$P/iPod_Control/iTunes/iTunesDB/music"}
            << false << 73 << QStringList{} << "iTunesDB/music/ cannot be made";
        QTest::newRow("dry run into a new folder")
            << QStringList{"--player", "$P", "--to", "$E/new", "--dry-run", "--folders"} << false
            << 1 << QStringList{}
            << "copy: $P/iPod_Control/Music/F00/AB.mp3 -> $E/new/Ann/Road/Rock_Ann_Hi_Road_1.mp3";
    }

    void exitStatus()
    {
        QFETCH(QStringList, arguments);
        QFETCH(bool, keptByWindow);
        if (keptByWindow) {
            KeptSettings kept(m_config + "/Sondrel/Sondrel.conf");
            kept.setExportDirectory(m_export + "/");
            NameFields fields = defaultNameFields();
            for (NameField &field : fields)
                field.chosen = field.label == "Title";
            kept.setNameFields(fields);
        }
        const Run result = run(arguments);
        QTEST(result.code, "code");
        QFETCH(QStringList, written);
        written.sort();
        QCOMPARE(contentsOf(m_export), written);
        QFETCH(QString, said);
        said = expanded({said}).first();
        if (!said.isEmpty())
            QVERIFY2(result.err.contains(said) || result.out.contains(said),
                     qPrintable(result.err + result.out));
    }

    // The JSON listing read back by a JSON parser: each value of a track with its type, and
    // null where the player has none. The player's clock runs in Berlin's time.
    void jsonListing_data()
    {
        QTest::addColumn<QString>("find");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QByteArray>("value"); // as JSON

        const auto row = [](const char *find, const char *key, const QByteArray &value) {
            QTest::addRow("%s %s", find, key) << QString(find) << QString(key) << value;
        };
        row("ete", "id", "2");
        row("ete", "title", "\"Été\"");
        row("ete", "comment", "null");
        row("ete", "duration_ms", "180000");
        row("ete", "size_bytes", "11");
        row("ete", "file_type", "null");
        row("ete", "track", "7");
        row("ete", "disc", "null");
        row("ete", "year", "2001");
        row("ete", "rating", "null");
        row("ete", "plays", "0");
        row("ete", "skips", "4");
        row("ete", "last_played", "null");
        row("ete", "date_added", "\"2024-01-06T05:12:19Z\"");
        row("ete", "persistent_id", "\"0123456789ABCDEF\"");
        row("ete", "location", "\"iPod_Control/Music/F01/CD.m4a\"");
        row("ete", "export_name", "\"Pop_Björk_Été_Vespertine_2.m4a\"");
        row("ete", "playlists", "[\"Summer\"]");
        row("hi", "rating", "3");
        row("hi", "plays", "5"); // the database's 2 and the Play Counts file's 3
        row("hi", "persistent_id", "null");
        row("hi", "album_artist", "null");
        row("hi", "playlists", "[\"Road\"]");
    }

    void jsonListing()
    {
        QFETCH(QString, find);
        QFETCH(QString, key);
        QFETCH(QByteArray, value);
        const Run result =
            run({"--player", "$P", "--list", "--format", "json", "--find", find}, "Europe/Berlin");
        QCOMPARE(result.code, 0);
        QJsonParseError error;
        const QJsonDocument listing = QJsonDocument::fromJson(result.out.toUtf8(), &error);
        QVERIFY2(error.error == QJsonParseError::NoError, qPrintable(error.errorString()));
        QVERIFY(listing.isArray());
        QCOMPARE(listing.array().size(), 1);
        const QJsonObject track = listing.array().first().toObject();
        QCOMPARE(track.size(), 23);
        QVERIFY2(track.contains(key), qPrintable(key));
        QCOMPARE(track.value(key), QJsonDocument::fromJson("[" + value + "]").array().first());
    }

    // A run stopped by SIGINT, SIGTERM or SIGHUP in the middle of a copy: exit 130, no
    // temporary file left, and every file in the folder named by the record; a second run
    // completes it. A reader of the messages that has gone (SIGPIPE) stops nothing.
    void interruptedRun_data()
    {
        QTest::addColumn<int>("signal"); // 0: the messages' pipe closed instead
        QTest::newRow("SIGINT") << int(SIGINT);
        QTest::newRow("SIGTERM") << int(SIGTERM);
        QTest::newRow("SIGHUP") << int(SIGHUP);
        QTest::newRow("stderr closed") << 0;
    }

    void interruptedRun()
    {
        QFETCH(int, signal);
        TestDatabase db;
        const int files = 30;
        const qint32 size = 16 << 20;
        for (int i = 0; i < files; ++i)
            db.tracks << TestTrack::make(QString("Song %1").arg(i), "A", "B", "C",
                                         QString(":iPod_Control:Music:F00:S%1.mp3").arg(i))
                             .withSize(size);
        const QString player = m_dir.filePath("large");
        QVERIFY(QDir().mkpath(player));
        QVERIFY(writePlayer(player, db));
        for (int i = 0; i < files; ++i) { // sparse: quick to make and to read
            QFile file(player + QString("/iPod_Control/Music/F00/S%1.mp3").arg(i));
            QVERIFY(file.open(QIODevice::WriteOnly) && file.resize(size));
        }

        QProcess process;
        process.setProcessEnvironment(environment());
        process.start(SONDREL_EXPORT_PROGRAM, {"--player", player, "--to", m_export});
        // The first progress line comes at 5%: the copies stop there for the signal.
        QVERIFY(process.waitForStarted());
        process.setReadChannel(QProcess::StandardError);
        QVERIFY(process.waitForReadyRead(30000));
        const pid_t pid = pid_t(process.processId());
        QVERIFY(pid > 0);
        if (signal == 0) { // every later message meets a closed pipe
            process.closeReadChannel(QProcess::StandardError);
            QVERIFY(process.waitForFinished(60000));
            QCOMPARE(process.exitStatus(), QProcess::NormalExit);
            QCOMPARE(process.exitCode(), 0);
            QCOMPARE(contentsOf(m_export).size(), files + 1);
            return;
        }
        ::kill(pid, SIGSTOP);
        ::kill(pid, signal);
        ::kill(pid, SIGCONT);
        QVERIFY(process.waitForFinished(60000));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), 130);

        QStringList placed = contentsOf(m_export);
        QVERIFY(placed.removeOne(".sondrel-record.tsv"));
        QVERIFY2(placed.size() < files, "the run ended before the signal");
        for (const QString &name : placed)
            QVERIFY2(!name.startsWith(".sondrel-"), qPrintable(name));
        QFile recordFile(m_export + "/.sondrel-record.tsv");
        QVERIFY(recordFile.open(QIODevice::ReadOnly));
        QStringList recorded;
        for (const QByteArray &line : recordFile.readAll().split('\n').mid(1))
            if (!line.isEmpty())
                recorded << QString::fromUtf8(line.split('\t').first());
        recorded.sort();
        QCOMPARE(recorded, placed);

        const Run again = run({"--player", player, "--to", m_export, "--quiet"});
        QCOMPARE(again.code, 0);
        QCOMPARE(contentsOf(m_export).size(), files + 1);
    }
};

SONDREL_TEST_MAIN_CORE(TestSondrelExport)
#include "test_sondrelexport.moc"
