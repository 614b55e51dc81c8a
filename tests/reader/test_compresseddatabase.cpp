// Compressed databases ("iTunesCDB"): inflating them into ordinary ones, and the record
// walk over the result.

#include "compresseddatabase.h"
#include "itunesdbbuilder.h"
#include "recordwalk.h"
#include "testmain.h"

#include <QFile>
#include <QTest>
#include <QtEndian>

using namespace sondrel;
using namespace sondrel::test;

Q_DECLARE_METATYPE(sondrel::InflateStatus)

namespace {

QByteArray fromBytes(std::span<const std::uint8_t> bytes)
{
    return QByteArray(reinterpret_cast<const char *>(bytes.data()), qsizetype(bytes.size()));
}

TestDatabase someTracks(int count)
{
    TestDatabase db;
    db.dataSets = TestDatabase::modernOrder();
    db.headerLength = 244;
    for (int i = 1; i <= count; ++i)
        db.tracks << TestTrack::make(QStringLiteral("Title %1").arg(i), "Artist", "Album", "Rock",
                                     QStringLiteral(":iPod_Control:Music:F00:T%1.mp3").arg(i),
                                     "MPEG audio file")
                         .withSize(1000 + i)
                         .withDuration(2000 + i);
    return db;
}

// The database a compressed one inflates to: the header as it is stored (its total
// length that of the compressed file, its mark at offset 12), then the inflated data sets.
QByteArray inflatedForm(const QByteArray &database, const QByteArray &compressed)
{
    const qint32 header = qFromLittleEndian<qint32>(database.constData() + 4);
    return compressed.left(header) + database.mid(header);
}

// Every track as "title|location|size", for comparing two walks.
QStringList walked(const QByteArray &database, WalkOutcome *outcome = nullptr)
{
    TrackTable table;
    const std::span<const std::uint8_t> bytes = bytesOf(database);
    const WalkOutcome result = walkDatabase(bytes, table);
    if (outcome)
        *outcome = result;
    QStringList out;
    for (int k = 1; k <= table.count(); ++k)
        out << table.text(k, FieldTitle) + '|' + table.text(k, FieldLocation) + '|' +
                   table.text(k, FieldSize);
    return out;
}

} // namespace

class TestCompressedDatabase : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void inflates_data()
    {
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<quint64>("maximum"); // InflateLimits::maximum
        QTest::addColumn<InflateStatus>("status");
        QTest::addColumn<QByteArray>("expected"); // the bytes afterwards

        const QByteArray plain = buildDatabase(someTracks(3));
        const QByteArray compressed = compressDatabase(plain);
        const quint64 GiB = quint64(1) << 30;
        const qsizetype header = 244;
        const auto damaged = [&](qsizetype at) {
            QByteArray d = compressed;
            for (qsizetype i = at; i < at + 8; ++i)
                d[i] = char(d[i] ^ 0x5A);
            return d;
        };

        QTest::newRow("compressed")
            << compressed << GiB << InflateStatus::Inflated << inflatedForm(plain, compressed);
        QTest::newRow("bytes after the stream are left alone")
            << compressed + QByteArray(16, '\xEE') << GiB << InflateStatus::Inflated
            << inflatedForm(plain, compressed);
        QTest::newRow("inflates to exactly the maximum")
            << compressed << quint64(plain.size() - header) << InflateStatus::Inflated
            << inflatedForm(plain, compressed);
        QTest::newRow("one byte over the maximum")
            << compressed << quint64(plain.size() - header - 1) << InflateStatus::TooLarge
            << QByteArray();

        // Ordinary data sets after the header, or no header: left to the record walk.
        QTest::newRow("not compressed after all")
            << plain << GiB << InflateStatus::Plain << QByteArray();
        QTest::newRow("no database header") << QByteArray("PK\x03\x04 something else") << GiB
                                            << InflateStatus::Plain << QByteArray();
        QByteArray longHeader = compressed;
        putLe32(longHeader, 4, qint32(compressed.size()));
        QTest::newRow("header as long as the file")
            << longHeader << GiB << InflateStatus::Plain << QByteArray();

        QTest::newRow("stream cut short") << compressed.left(compressed.size() - 20) << GiB
                                          << InflateStatus::Damaged << QByteArray();
        QTest::newRow("stream cut after its first bytes")
            << compressed.left(header + 2) << GiB << InflateStatus::Damaged << QByteArray();
        QTest::newRow("damaged stream")
            << damaged(header + 40) << GiB << InflateStatus::Damaged << QByteArray();
        QTest::newRow("check sum damaged")
            << damaged(compressed.size() - 8) << GiB << InflateStatus::Damaged << QByteArray();
        QTest::newRow("not a zlib stream")
            << plain.left(header) + QByteArray("garbage, not deflated") << GiB
            << InflateStatus::Damaged << QByteArray();

        // 16 MB of nothing deflates a thousandfold: far beyond 64 times.
        QByteArray bomb = plain.left(header) + QByteArray("mhsd") + QByteArray(16 << 20, '\0');
        bomb = compressDatabase(bomb, 9);
        QTest::newRow("zip bomb") << bomb << GiB << InflateStatus::TooLarge << QByteArray();
    }

    void inflates()
    {
        QFETCH(QByteArray, stored);
        QFETCH(quint64, maximum);
        QFETCH(QByteArray, expected);
        const std::span<const std::uint8_t> bytes = bytesOf(stored);
        const InflatedDatabase inflated = inflateDatabase(bytes, InflateLimits{64, maximum});
        QTEST(inflated.status, "status");
        QCOMPARE(fromBytes(inflated.bytes()), expected);
    }

    // A large database grows its buffer many times over while it inflates.
    void inflatesLargeDatabases()
    {
        const QByteArray plain = buildDatabase(someTracks(12000));
        const QByteArray compressed = compressDatabase(plain);
        QVERIFY(plain.size() > 16 * compressed.size());
        const InflatedDatabase inflated = inflateDatabase(bytesOf(compressed));
        QCOMPARE(inflated.status, InflateStatus::Inflated);
        QCOMPARE(fromBytes(inflated.bytes()), inflatedForm(plain, compressed));
    }

    // Inflated, a compressed database walks as the ordinary one does: the desktop
    // software's database and one of the tests' own, each with its data sets compressed.
    void walksLikeTheOrdinaryDatabase_data()
    {
        QTest::addColumn<QByteArray>("plain");
        QTest::addColumn<int>("tracks");
        const QByteArray folder = qgetenv("SONDREL_FIXTURES");
        QFile fixture(QString::fromLocal8Bit(folder) + "/iTunesDB-two-tracks-album-list-first");
        if (!folder.isEmpty() && fixture.open(QIODevice::ReadOnly))
            QTest::newRow("shared fixture") << fixture.readAll() << 2;
        else
            qWarning("The shared fixtures are absent (set SONDREL_FIXTURES to their folder).");
        QTest::newRow("built, 500 tracks") << buildDatabase(someTracks(500)) << 500;
    }

    void walksLikeTheOrdinaryDatabase()
    {
        QFETCH(QByteArray, plain);
        QFETCH(int, tracks);
        const InflatedDatabase inflated = inflateDatabase(bytesOf(compressDatabase(plain)));
        QCOMPARE(inflated.status, InflateStatus::Inflated);
        WalkOutcome outcome;
        const QStringList fromCompressed = walked(fromBytes(inflated.bytes()), &outcome);
        QVERIFY2(outcome.complete(), qPrintable(describe(outcome)));
        QCOMPARE(outcome.tracks, tracks);
        QCOMPARE(fromCompressed, walked(plain));
    }
};

SONDREL_TEST_MAIN_CORE(TestCompressedDatabase)
#include "test_compresseddatabase.moc"
