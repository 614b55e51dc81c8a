// The library file other players import, and the texts of the history it and the grid
// show: read back through a strict XML reader after runs into one export folder.
#include "exportrun.h"
#include "filesystem_posix.h"
#include "historytext.h"
#include "libraryfile.h"
#include "testmain.h"
#include "tracktables.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>
#include <QXmlStreamReader>

#include <ctime>

using namespace sondrel;
using namespace sondrel::test;

namespace {

class QuietHost : public ExportHost
{
public:
    void message(const QString &) override {}
    void failure(const PlatformError &) override {}
    void setBusy(bool) override {}
};

// A property list as values: dict -> QVariantMap, array -> QVariantList, integer ->
// qlonglong, true/false -> bool, string and date -> QString.
QVariant plistValue(QXmlStreamReader &xml)
{
    const QString tag = xml.name().toString();
    if (tag == "dict") {
        QVariantMap map;
        QString key;
        while (xml.readNextStartElement()) {
            if (xml.name() == QLatin1String("key"))
                key = xml.readElementText();
            else
                map.insert(key, plistValue(xml));
        }
        return map;
    }
    if (tag == "array") {
        QVariantList list;
        while (xml.readNextStartElement())
            list << plistValue(xml);
        return list;
    }
    if (tag == "true" || tag == "false") {
        xml.skipCurrentElement();
        return tag == "true";
    }
    const QString text = xml.readElementText();
    return tag == "integer" ? QVariant(text.toLongLong()) : QVariant(text);
}

// The file's top dictionary; fails the test when the file is not well-formed.
QVariantMap readPlist(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QXmlStreamReader xml(&file);
    QVariantMap top;
    while (xml.readNextStartElement()) {
        if (xml.name() == QLatin1String("plist"))
            continue;
        top = plistValue(xml).toMap();
        break;
    }
    while (!xml.atEnd())
        xml.readNext();
    if (xml.hasError())
        qWarning() << "not well-formed:" << xml.errorString() << "at line" << xml.lineNumber();
    return xml.hasError() ? QVariantMap() : top;
}

QStringList trackIdsOf(const QVariantMap &playlist)
{
    QStringList ids;
    for (const QVariant &item : playlist.value("Playlist Items").toList())
        ids << item.toMap().value("Track ID").toString();
    return ids;
}

} // namespace

class TestLibraryFile : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        qputenv("TZ", "Europe/Berlin");
        tzset();
    }

    // The player's Mac times are its local time: shown as they are, written as UTC.
    void historyTexts_data()
    {
        QTest::addColumn<uint>("macTime");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QString>("utc");
        QTest::newRow("never") << 0u << ""
                               << "";
        QTest::newRow("winter") << 3'787'362'739u << "2024-01-06 05:12"
                                << "2024-01-06T04:12:19Z";
        QTest::newRow("summer") << 3'802'680'000u << "2024-07-01 12:00"
                                << "2024-07-01T10:00:00Z";
        QTest::newRow("1904") << 59u << "1904-01-01 00:00"
                              << "1903-12-31T23:00:59Z";
    }
    void historyTexts()
    {
        QFETCH(uint, macTime);
        QTEST(macTimeText(macTime), "shown");
        QTEST(macTimeIsoUtc(macTime), "utc");
        QTEST(macTimeIsoUtc(macTime), "utc"); // the second time from the kept offset
    }

    // POSIX: "file://" and the absolute path, which URL parsers resolve to the path (not
    // to "/localhost/..."); Windows: the drive after "localhost" keeps its colon.
    void locations_data()
    {
        QTest::addColumn<QByteArray>("path");
        QTest::addColumn<char>("separator");
        QTest::addColumn<QByteArray>("url");
        QTest::newRow("POSIX") << QByteArray("/home/me/Mix #1/x+y Café.mp3") << '/'
                               << QByteArray("file:///home/me/Mix%20%231/x%2By%20Caf%C3%A9.mp3");
        QTest::newRow("POSIX folder")
            << QByteArray("/home/me/") << '/' << QByteArray("file:///home/me/");
        QTest::newRow("Windows") << QByteArray("C:\\Music\\Mix #1\\x+y.mp3") << '\\'
                                 << QByteArray("file://localhost/C:/Music/Mix%20%231/x%2By.mp3");
    }
    void locations()
    {
        QFETCH(QByteArray, path);
        QFETCH(char, separator);
        QFETCH(QByteArray, url);
        QCOMPARE(fileUrl(path.toStdString(), separator), url);
        if (separator == '/')
            QCOMPARE(QUrl(QString::fromLatin1(url)).toLocalFile(), QString::fromUtf8(path));
    }

    // Two runs into one folder with a file of the user's at the library file's name: the
    // user's file stays; ours holds every track with a copy from either run, its
    // Locations resolving to the copies, and is replaced in place by the second run.
    void writtenAfterEachRun()
    {
        QTemporaryDir dir;
        const QString player = dir.filePath("player") + "/";
        const QString exportDir = dir.filePath("export") + "/";
        QVERIFY(QDir().mkpath(player + "iPod_Control/Music/F00") && QDir().mkpath(exportDir));
        const QString odd = QString::fromUtf8("Rock & Roll <live>\x01 Café 君+");
        QList<TableTrack> tracks;
        const QStringList titles{odd, "Second", "Never exported"};
        for (int i = 0; i < titles.size(); ++i) {
            TableTrack t;
            t.title = titles[i];
            t.location = QString(":iPod_Control:Music:F00:%1.mp3").arg(i);
            t.size = 5;
            t.duration = 61000;
            t.persistentId = 0xABCDEF0123456789ull + quint64(i);
            tracks << t;
            QFile file(player + QString("iPod_Control/Music/F00/%1.mp3").arg(i));
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write("sound") == 5);
        }
        TrackTable table = tableOf(tracks);
        table.track(1).rating = 60;
        table.track(1).playCount = 5;
        table.track(1).lastPlayed = 3'787'362'739u;
        table.track(1).dateAdded = 3'802'680'000u;
        table.setPlaylists({{"Mix", {3, 2, 1}}, {"Empty", {3}}});
        QFile foreign(exportDir + LibraryFileName);
        QVERIFY(foreign.open(QIODevice::WriteOnly) && foreign.write("the user's") == 10);
        foreign.close();

        PosixFileSystem fs;
        QuietHost host;
        for (const int marked : {1, 2}) {
            ExportRequest request;
            request.playerDrive = player;
            request.exportDirectory = exportDir;
            request.marked = {marked};
            request.fields = onlyTitleFields();
            request.options.libraryFile = true;
            ExportRun run(fs, host);
            QCOMPARE(run.check(table, request), ExportRun::Outcome::Ready);
            ExportProgress progress;
            QCOMPARE(run.copy(progress).skipped.size(), 0u);
        }

        QStringList files = QDir(exportDir).entryList(QDir::Files);
        QCOMPARE(files.filter(".xml"), (QStringList{"Sondrel Library (2).xml", LibraryFileName}));
        QCOMPARE(files.filter(".mp3").size(), 2);
        QFile kept(exportDir + LibraryFileName);
        QVERIFY(kept.open(QIODevice::ReadOnly));
        QCOMPARE(kept.readAll(), QByteArray("the user's"));

        const QVariantMap top = readPlist(exportDir + "Sondrel Library (2).xml");
        QVERIFY(!top.isEmpty());
        QCOMPARE(top.value("Major Version").toInt(), 1);
        QCOMPARE(QUrl(top.value("Music Folder").toString()).path(), exportDir);
        const QVariantMap byId = top.value("Tracks").toMap();
        QCOMPARE(byId.keys(), (QStringList{"1", "2"}));
        const QVariantMap first = byId.value("1").toMap();
        QCOMPARE(first.value("Name").toString(), QString::fromUtf8("Rock & Roll <live> Café 君+"));
        QCOMPARE(first.value("Rating").toInt(), 60);
        QCOMPARE(first.value("Play Count").toInt(), 5);
        QCOMPARE(first.value("Play Date").toLongLong(), 3'787'362'739ll);
        QCOMPARE(first.value("Play Date UTC").toString(), QString("2024-01-06T04:12:19Z"));
        QCOMPARE(first.value("Date Added").toString(), QString("2024-07-01T10:00:00Z"));
        QCOMPARE(first.value("Persistent ID").toString(), QString("ABCDEF0123456789"));
        QCOMPARE(first.value("Total Time").toInt(), 61000);
        QCOMPARE(first.value("Track Type").toString(), QString("File"));
        QVERIFY(!first.contains("Skip Count") && !first.contains("Year"));
        QVERIFY(!byId.value("2").toMap().contains("Rating"));
        for (const QVariant &track : byId) {
            const QString location = track.toMap().value("Location").toString();
            QVERIFY2(location.startsWith("file:///"), qPrintable(location));
            const QString path = QUrl(location).path(QUrl::FullyDecoded);
            QVERIFY2(QFileInfo(path).isFile() && path.startsWith(exportDir), qPrintable(path));
            QVERIFY(path.endsWith(".mp3"));
        }

        const QVariantList playlists = top.value("Playlists").toList();
        QCOMPARE(playlists.size(), 3);
        const QVariantMap master = playlists[0].toMap();
        QCOMPARE(master.value("Name").toString(), QString("Library"));
        QVERIFY(master.value("Master").toBool() && !master.value("Visible", true).toBool());
        QCOMPARE(trackIdsOf(master), (QStringList{"1", "2"}));
        const QVariantMap mix = playlists[1].toMap();
        QCOMPARE(mix.value("Name").toString(), QString("Mix"));
        QCOMPARE(trackIdsOf(mix), (QStringList{"2", "1"}));
        QCOMPARE(mix.value("Playlist Persistent ID").toString(),
                 QString(QCryptographicHash::hash("Mix", QCryptographicHash::Sha1)
                             .left(8)
                             .toHex()
                             .toUpper()));
        QCOMPARE(trackIdsOf(playlists[2].toMap()), QStringList());
    }
};

SONDREL_TEST_MAIN_CORE(TestLibraryFile)
#include "test_libraryfile.moc"
