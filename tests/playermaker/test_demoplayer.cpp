// The demo player (tools/run.sh --demo) as the reader reads it back: every track with
// its names in three scripts and the odd ones, the playlists, and at every track's
// location a WAV file that plays.

#include "artworkdb.h"
#include "databasereader.h"
#include "demoplayer.h"
#include "filesystem_posix.h"
#include "testfiles.h"
#include "testmain.h"

#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

using namespace sondrel;
using namespace sondrel::test;

class TestDemoPlayer : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    TrackTable m_table;

    int tracksWith(int field, const QString &text) const
    {
        int n = 0;
        for (int k = 1; k <= m_table.count(); ++k)
            n += m_table.text(k, field) == text;
        return n;
    }

private Q_SLOTS:
    void initTestCase()
    {
        TestDatabase db = makeDemoPlayer();
        const TestArtwork covers = demoCovers(db);
        QVERIFY(writePlayer(m_dir.path(), db));
        QVERIFY(writeArtwork(m_dir.path(), covers));
        const PosixFileSystem fs;
        DatabaseReader reader(fs, (m_dir.path() + "/").toStdString());
        const ReadOutcome outcome = readPlayer(reader, m_table);
        QVERIFY(outcome.read());
        QCOMPARE(m_table.count(), demo::TrackCount);
    }

    // Covers on a first try: the albums but the last have one, loose tracks none, and the
    // wide picture keeps its shape.
    void covers()
    {
        QSet<QString> with, without;
        QList<QSize> wide;
        const PosixFileSystem fs;
        for (int k = 1; k <= m_table.count(); ++k) {
            const Track &t = m_table.track(k);
            (t.coverImage ? with : without) << m_table.text(k, FieldAlbum);
            if (t.coverImage && t.artworkLink == t.coverImage && m_table.artwork()) {
                const CoverPixels pixels = readCover(fs, *m_table.artwork(), t.coverImage);
                if (pixels.width != pixels.height)
                    wide << QSize(pixels.width, pixels.height);
            }
        }
        QVERIFY(with.size() > 5);
        QVERIFY(without.contains(QString()));
        QVERIFY(!without.intersects(with) || with.contains("Radio Ghosts"));
        QCOMPARE(wide, QList<QSize>{QSize(320, 214)});
    }

    // Beside the master playlist: the Greek and Cyrillic albums' tracks, one empty list.
    void playlists()
    {
        QStringList shown;
        for (const Playlist &playlist : m_table.playlists())
            shown << QString("%1 (%2)").arg(playlist.title).arg(playlist.tracks.size());
        QCOMPARE(shown, (QStringList{"Favourites (43)", "Road Trip (25)", "Ελληνικά (32)",
                                     "Русская музыка (45)", "Short & Sweet (5)", "Later (0)"}));
    }

    void names_data()
    {
        QTest::addColumn<int>("field");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("tracks");
        QTest::newRow("Cyrillic title") << int(FieldTitle) << "Январь" << 1;
        QTest::newRow("Greek album") << int(FieldAlbum) << "Θάλασσα και Ήλιος" << 12;
        QTest::newRow("Latin artist") << int(FieldArtist) << "Łukasz Dvořák Trio" << 8;
        QTest::newRow("composer") << int(FieldComposer) << "Пётр Ильич Чайковский" << 12;
        QTest::newRow("album artist") << int(FieldAlbumArtist) << "Various Artists" << 14;
        QTest::newRow("very long title") << int(FieldTitle) << demo::longTitle() << 1;
        QTest::newRow("characters Windows forbids")
            << int(FieldTitle) << demo::forbiddenTitle() << 1;
        QTest::newRow("no album") << int(FieldAlbum) << "" << 5;
        QTest::newRow("duplicate title") << int(FieldTitle) << demo::duplicateTitle() << 2;
    }

    void names()
    {
        QFETCH(int, field);
        QFETCH(QString, text);
        QFETCH(int, tracks);
        QCOMPARE(tracksWith(field, text), tracks);
    }

    // Every track's file is a RIFF WAVE of PCM whose lengths add up, one second long.
    void soundFilesPlay()
    {
        const QRegularExpression layout("/iPod_Control/Music/F\\d\\d/[A-Z]{4}\\.wav$");
        for (int k = 1; k <= m_table.count(); ++k) {
            const QString path = locationPath(m_dir.path(), m_table.text(k, FieldLocation));
            QVERIFY2(layout.match(path).hasMatch(), qPrintable(path));
            const QByteArray wav = readAll(path);
            const auto le32 = [&wav](int at) {
                return qFromLittleEndian<quint32>(wav.constData() + at);
            };
            QCOMPARE(quint64(wav.size()), m_table.track(k).size);
            QCOMPARE(wav.left(16) + wav.mid(36, 4),
                     QByteArray("RIFF") + wav.mid(4, 4) + "WAVEfmt data");
            QCOMPARE(le32(4), quint32(wav.size() - 8));
            QCOMPARE(le32(40), quint32(wav.size() - 44));
            QCOMPARE(le32(40) * 1000 / le32(28),
                     quint32(m_table.track(k).duration)); // bytes a second
        }
    }
};

SONDREL_TEST_MAIN_CORE(TestDemoPlayer)
#include "test_demoplayer.moc"
