// The demo player (tools/run.sh --demo) as the reader reads it back: every track with
// its names in three scripts and the odd ones, the playlists, and at every track's
// location a WAV file that plays.

#include "databasereader.h"
#include "demoplayer.h"
#include "filesystem_posix.h"
#include "testfiles.h"
#include "testmain.h"

#include <QRegularExpression>
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
        QVERIFY(writePlayer(m_dir.path(), makeDemoPlayer()));
        const PosixFileSystem fs;
        const ReadOutcome outcome =
            readPlayerDatabase(fs, (m_dir.path() + "/").toStdString(), m_table);
        QVERIFY(outcome.read());
        QCOMPARE(m_table.count(), demo::TrackCount);
    }

    void playlists()
    {
        QStringList titles;
        std::vector<int> sizes;
        for (const Playlist &playlist : m_table.playlists()) {
            titles << playlist.title;
            sizes.push_back(int(playlist.tracks.size()));
        }
        QCOMPARE(titles, (QStringList{"Favourites", "Road Trip", "Ελληνικά", "Русская музыка",
                                      "Short & Sweet", "Later"}));
        QCOMPARE(sizes[2], 32); // the three Greek albums
        QCOMPARE(sizes[3], 45); // the four Cyrillic ones
        QCOMPARE(sizes[5], 0);
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
        QTest::newRow("characters Windows forbids") << int(FieldTitle) << demo::forbiddenTitle() << 1;
        QTest::newRow("no album") << int(FieldAlbum) << "" << 5;
    }

    void names()
    {
        QFETCH(int, field);
        QFETCH(QString, text);
        QFETCH(int, tracks);
        QCOMPARE(tracksWith(field, text), tracks);
    }

    void duplicateTitle() { QVERIFY(tracksWith(FieldTitle, demo::duplicateTitle()) >= 2); }

    // Every track's file is a RIFF WAVE of 16-bit PCM whose lengths add up, one second long.
    void soundFilesPlay()
    {
        for (int k = 1; k <= m_table.count(); ++k) {
            const QString path = locationPath(m_dir.path(), m_table.text(k, FieldLocation));
            QVERIFY2(path.contains(QRegularExpression("/iPod_Control/Music/F\\d\\d/[A-Z]{4}\\.wav$")),
                     qPrintable(path));
            const QByteArray wav = readAll(path);
            QCOMPARE(quint64(wav.size()), m_table.track(k).size);
            QCOMPARE(wav.left(4), QByteArray("RIFF"));
            QCOMPARE(qFromLittleEndian<quint32>(wav.constData() + 4), quint32(wav.size() - 8));
            QCOMPARE(wav.mid(8, 8), QByteArray("WAVEfmt "));
            QCOMPARE(qFromLittleEndian<quint16>(wav.constData() + 20), quint16(1)); // PCM
            const quint32 rate = qFromLittleEndian<quint32>(wav.constData() + 24);
            const quint32 data = qFromLittleEndian<quint32>(wav.constData() + 40);
            QCOMPARE(wav.mid(36, 4), QByteArray("data"));
            QCOMPARE(data, quint32(wav.size() - 44));
            QCOMPARE(data / (rate * 2) * 1000, quint32(m_table.track(k).duration));
        }
    }
};

SONDREL_TEST_MAIN_CORE(TestDemoPlayer)
#include "test_demoplayer.moc"
