#include "databasereader.h"
#include "faultyfilesystem.h"
#include "filesystem_posix.h"
#include "itunesdbbuilder.h"
#include "platformerror.h"
#include "testfiles.h"
#include "testmain.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>

using namespace sondrel;
using namespace sondrel::test;

namespace {

TestDatabase tracks(int n)
{
    TestDatabase db;
    db.dataSets = TestDatabase::modernOrder();
    for (int i = 1; i <= n; ++i)
        db.tracks << TestTrack::make(QString("Title %1").arg(i), QString("Artist %1").arg(i % 7),
                                     "Album", "Rock", QString(":iPod_Control:Music:F00:%1.mp3").arg(i))
                         .withComment(QString("Comment %1").arg(i));
    return db;
}

QStringList filesIn(const QString &folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden, QDir::Name);
}

} // namespace

class TestDatabaseReader : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // What a read gives for each kind of player, with the work files it leaves for
    // removeWorkFiles(): the database's bytes and their hex text, or nothing at all.
    void readsThePlayer_data()
    {
        QTest::addColumn<QByteArray>("plain");      // "iTunesDB"; none when null
        QTest::addColumn<QByteArray>("compressed"); // "iTunesCDB"; none when null
        QTest::addColumn<bool>("staging");
        QTest::addColumn<int>("status");
        QTest::addColumn<int>("tracks");
        QTest::addColumn<QByteArray>("staged"); // the staged copy left; null: no work file

        const QByteArray db = buildDatabase(tracks(300));
        const QByteArray cdb = compressDatabase(db);
        const QByteArray inflated = cdb.left(0x68) + db.mid(0x68); // the header as stored
        TestLayout at;
        QByteArray damaged = buildDatabase(tracks(3), &at);
        damaged.replace(at.tracks[2], 4, "mhix");
        const int read = int(ReadStatus::Read);
        const int unreadable = int(ReadStatus::Unreadable);
        QTest::newRow("plain") << db << QByteArray() << true << read << 300 << db;
        QTest::newRow("plain, nothing written") << db << QByteArray() << false << read << 300
                                                << QByteArray();
        QTest::newRow("compressed beside an outdated one")
            << buildDatabase(tracks(1)) << cdb << true << read << 300 << inflated;
        QTest::newRow("compressed, nothing written")
            << QByteArray() << cdb << false << read << 300 << QByteArray();
        QTest::newRow("no database") << QByteArray() << QByteArray() << true
                                     << int(ReadStatus::NoDatabase) << 0 << QByteArray();
        QTest::newRow("a damaged track: the work files wait for the caller")
            << damaged << QByteArray() << true << unreadable << 3 << damaged;
        QTest::newRow("compressed, cut short: no work file")
            << QByteArray() << cdb.left(cdb.size() - 30) << true << unreadable << 0 << QByteArray();
    }

    void readsThePlayer()
    {
        QFETCH(QByteArray, plain);
        QFETCH(QByteArray, compressed);
        QFETCH(bool, staging);
        QFETCH(QByteArray, staged);
        QTemporaryDir player;
        QTemporaryDir work;
        if (!plain.isNull())
            QVERIFY(writePlayerFile(player.path(), "iPod_Control/iTunes/iTunesDB", plain));
        if (!compressed.isNull())
            QVERIFY(writePlayerFile(player.path(), "iPod_Control/iTunes/iTunesCDB", compressed));
        QVERIFY(writePlayerFile(work.path(), "Vemo_temp_hex.txt", "from an earlier run"));

        const PosixFileSystem fs;
        const std::string drive = player.path().toStdString() + '/';
        DatabaseReader reader = staging ? DatabaseReader(fs, drive, work.path().toStdString() + '/')
                                        : DatabaseReader(fs, drive);
        TrackTable table;
        int calls = 0;
        ReadOutcome outcome;
        if (reader.find())
            outcome = reader.read(table, [&](int, int) { ++calls; });
        QTEST(int(outcome.status), "status");
        QTEST(outcome.tracks(), "tracks");
        if (outcome.read()) {
            QCOMPARE(calls, outcome.tracks());
            QCOMPARE(table.text(300, FieldTitle), "Title 300");
        }
        if (staged.isNull()) {
            QVERIFY(!filesIn(work.path()).contains("Vemo_temp"));
        } else {
            QCOMPARE(readAll(work.filePath("Vemo_temp")), staged);
            QCOMPARE(readAll(work.filePath("Vemo_temp_hex.txt")), staged.toHex().toUpper());
        }
        // The hex file of an earlier run goes too, once the database was staged over it.
        reader.removeWorkFiles();
        const bool overwritten = staging && outcome.status != ReadStatus::NoDatabase;
        QCOMPARE(filesIn(work.path()), overwritten ? QStringList() : QStringList{"Vemo_temp_hex.txt"});
    }

    // A disk that fills up while the work files are written beside the walk stops the read
    // with the disk's error, also when the walk would have found damage: the work files
    // come first, as when they were written before the walk. Nothing is left behind.
    void fullDiskDuringTheWalk_data()
    {
        QTest::addColumn<bool>("damaged");
        QTest::newRow("intact database") << false;
        QTest::newRow("damaged database") << true;
    }

    void fullDiskDuringTheWalk()
    {
        QFETCH(bool, damaged);
        QTemporaryDir player;
        QTemporaryDir work;
        TestLayout at;
        QByteArray db = buildDatabase(tracks(4000), &at);
        if (damaged)
            db.replace(at.tracks[10], 4, "mhix");
        QVERIFY(writePlayerFile(player.path(), "iPod_Control/iTunes/iTunesDB", db));
        auto plan = std::make_shared<FaultPlan>();
        plan->faults.push_back(
            {FsOp::Write, ENOSPC, 0, work.filePath("Vemo_temp_hex").toStdString(), 1 << 20});
        const FaultyFileSystem fs(plan, std::make_unique<PosixFileSystem>());

        int raised = 0;
        {
            DatabaseReader reader(fs, player.path().toStdString() + '/',
                                  work.path().toStdString() + '/');
            QVERIFY(reader.find());
            TrackTable table;
            try {
                reader.read(table);
            } catch (const PlatformError &error) {
                raised = error.number();
            }
        } // the reader removes what it left
        QCOMPARE(raised, ENOSPC);
        QCOMPARE(filesIn(work.path()), QStringList());
    }
};

SONDREL_TEST_MAIN_CORE(TestDatabaseReader)
#include "test_databasereader.moc"
