// The player's history: the fields of longer track records, and the "Play Counts" file
// merged over them.
#include "databasereader.h"
#include "filesystem_posix.h"
#include "itunesdbbuilder.h"
#include "playcounts.h"
#include "testmain.h"

#include <QTemporaryDir>
#include <QTest>

using namespace sondrel;
using namespace sondrel::test;

namespace {

using History = QList<quint32>; // rating, plays, skips, last played, last skipped, date added

History historyOf(const Track &t)
{
    return {t.rating, t.playCount, t.skipCount, t.lastPlayed, t.lastSkipped, t.dateAdded};
}

// Two tracks with a history of their own, records of `headerLength` bytes.
TestDatabase twoTracks(qint32 headerLength = 0x248)
{
    TestDatabase db;
    for (int i = 0; i < 2; ++i) {
        TestTrack t = TestTrack::make(QString("T%1").arg(i), "A", "B", "Rock",
                                      QString(":iPod_Control:Music:F00:%1.mp3").arg(i));
        t.headerLength = headerLength;
        t.rating = quint8(40 + 20 * i);
        t.playCount = 10 + quint32(i);
        t.skipCount = 3;
        t.lastPlayed = 3'600'000'000u;
        t.lastSkipped = 3'500'000'000u;
        t.dateAdded = 3'400'000'000u + quint32(i);
        db.tracks << t;
    }
    return db;
}

TrackTable read(const TestDatabase &db)
{
    TrackTable table;
    const QByteArray bytes = buildDatabase(db);
    walkDatabase(bytesOf(bytes), table);
    return table;
}

} // namespace

class TestPlayCounts : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Each field only where the record's header reaches past it; skips from 244 bytes on.
    void historyFieldsOfTheTrackRecord_data()
    {
        QTest::addColumn<int>("headerLength");
        QTest::addColumn<History>("expected");
        QTest::newRow("full") << 0x248
                              << History{40, 10, 3, 3'600'000'000u, 3'500'000'000u, 3'400'000'000u};
        QTest::newRow("243: no skips")
            << 243 << History{40, 10, 0, 3'600'000'000u, 0, 3'400'000'000u};
        QTest::newRow("84: plays, no last play") << 84 << History{40, 10, 0, 0, 0, 0};
    }
    void historyFieldsOfTheTrackRecord()
    {
        QFETCH(int, headerLength);
        QFETCH(History, expected);
        QCOMPARE(historyOf(read(twoTracks(headerLength)).track(1)), expected);
    }

    // Counts are added, dates and ratings that are not 0 replace the record's; a file
    // that cannot be trusted changes nothing.
    void mergeRules_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<int>("status");
        QTest::addColumn<History>("first");
        QTest::addColumn<History>("second");

        const History kept1{40, 10, 3, 3'600'000'000u, 3'500'000'000u, 3'400'000'000u};
        const History kept2{60, 11, 3, 3'600'000'000u, 3'500'000'000u, 3'400'000'001u};
        const QList<TestPlayCount> entries{{2, 3'700'000'000u, 100, 4, 3'700'000'001u},
                                           {0, 0, 0, 0, 0}};
        const int merged = int(PlayCountsStatus::Merged);
        const int damaged = int(PlayCountsStatus::Damaged);
        QTest::newRow("entries of 28 bytes")
            << buildPlayCounts(entries) << merged
            << History{100, 12, 7, 3'700'000'000u, 3'700'000'001u, 3'400'000'000u} << kept2;
        QTest::newRow("entries of 16 bytes: no skips")
            << buildPlayCounts(entries, 16) << merged
            << History{100, 12, 3, 3'700'000'000u, 3'500'000'000u, 3'400'000'000u} << kept2;
        QTest::newRow("more entries than tracks")
            << buildPlayCounts(entries + entries) << merged
            << History{100, 12, 7, 3'700'000'000u, 3'700'000'001u, 3'400'000'000u} << kept2;
        QTest::newRow("fewer entries than tracks")
            << buildPlayCounts(entries.mid(0, 1)) << int(PlayCountsStatus::TooFew) << kept1
            << kept2;
        QTest::newRow("short") << buildPlayCounts(entries).left(15) << damaged << kept1 << kept2;
        QTest::newRow("entries past the end")
            << buildPlayCounts(entries).chopped(1) << damaged << kept1 << kept2;
        QByteArray wrongTag = buildPlayCounts(entries);
        wrongTag[3] = 'x';
        QTest::newRow("not mhdp") << wrongTag << damaged << kept1 << kept2;
        QByteArray zeroEntry = buildPlayCounts(entries);
        putLe32(zeroEntry, 8, 0);
        QTest::newRow("entry length 0") << zeroEntry << damaged << kept1 << kept2;
    }
    void mergeRules()
    {
        QFETCH(QByteArray, file);
        TrackTable table = read(twoTracks());
        QTEST(int(mergePlayCounts(bytesOf(file), table)), "status");
        QTEST(historyOf(table.track(1)), "first");
        QTEST(historyOf(table.track(2)), "second");
    }

    // Found on the player whatever the letter case of its names; left alone beside a
    // compressed database, whose tracks it does not follow.
    void theFileOnThePlayer_data()
    {
        QTest::addColumn<bool>("compressed");
        QTest::addColumn<int>("status");
        QTest::addColumn<quint32>("plays");
        QTest::newRow("iTunesDB") << false << int(PlayCountsStatus::Merged) << 15u;
        QTest::newRow("iTunesCDB") << true << int(PlayCountsStatus::Compressed) << 10u;
    }
    void theFileOnThePlayer()
    {
        QFETCH(bool, compressed);
        QTemporaryDir dir;
        const QByteArray db = buildDatabase(twoTracks());
        QVERIFY(writePlayerFile(dir.path(),
                                compressed ? "ipod_control/itunes/iTunesCDB"
                                           : "ipod_control/itunes/iTunesDB",
                                compressed ? compressDatabase(db) : db));
        QVERIFY(writePlayerFile(dir.path(), "ipod_control/itunes/play counts",
                                buildPlayCounts({{5, 0, 0, 0, 0}, {5, 0, 0, 0, 0}})));
        PosixFileSystem fs;
        TrackTable table;
        const std::string root = dir.path().toStdString() + "/";
        // The database alone (readPlayer would merge the file already).
        DatabaseReader reader(fs, root);
        QVERIFY(reader.find());
        const ReadOutcome outcome = reader.read(table);
        QVERIFY(outcome.read());
        QTEST(int(mergePlayerPlayCounts(fs, root, outcome, table)), "status");
        QTEST(table.track(1).playCount, "plays");
    }
};

SONDREL_TEST_MAIN_CORE(TestPlayCounts)
#include "test_playcounts.moc"
