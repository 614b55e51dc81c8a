#include "filesystem_posix.h"
#include "platformerror.h"
#include "staging.h"
#include "testmain.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace sondrel;

namespace {

std::vector<std::uint8_t> bytesOf(const QByteArray &data)
{
    return {data.begin(), data.end()};
}

// Records what is written, piece by piece.
class RecordingFile : public OutputFile
{
public:
    void write(const void *data, std::size_t size) override
    {
        text.append(static_cast<const char *>(data), qsizetype(size));
        largestPiece = std::max(largestPiece, size);
        ++pieces;
    }
    void close() override { closed = true; }

    QByteArray text;
    std::size_t largestPiece = 0;
    int pieces = 0;
    bool closed = false;
};

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeAll(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

} // namespace

class TestStaging : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void hexTextFormat_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("nothing") << QByteArray() << QByteArray();
        QTest::newRow("0, 10, 255") << QByteArray("\x00\x0A\xFF", 3) << QByteArray("000AFF");
        QTest::newRow("a tag") << QByteArray("mhbd") << QByteArray("6D686264");
        QByteArray all;
        QByteArray allHex;
        for (int b = 0; b < 256; ++b) {
            all.append(char(b));
            allHex.append(QByteArray::number(b, 16).rightJustified(2, '0').toUpper());
        }
        QTest::newRow("every byte value") << all << allHex;
    }

    void hexTextFormat()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QByteArray, expected);
        const std::vector<std::uint8_t> data = bytesOf(bytes);
        QCOMPARE(QByteArray::fromStdString(hexText(data)), expected);

        RecordingFile file;
        writeHexText(file, data);
        QCOMPARE(file.text, expected);
    }

    // A large database is written in pieces, never as one buffer of twice its size.
    void hexFileIsWrittenInPieces()
    {
        QByteArray bytes(3 * 64 * 1024 + 7, '\0');
        for (qsizetype i = 0; i < bytes.size(); ++i)
            bytes[i] = char(i * 7);
        const std::vector<std::uint8_t> data = bytesOf(bytes);
        RecordingFile file;
        writeHexText(file, data);
        QCOMPARE(file.text.size(), 2 * bytes.size());
        QCOMPARE(file.text, QByteArray::fromStdString(hexText(data)));
        QCOMPARE(file.text, bytes.toHex().toUpper());
        QCOMPARE(file.pieces, 4);
        QVERIFY(file.largestPiece <= 128 * 1024);
    }

    void workFilePaths_data()
    {
        QTest::addColumn<QString>("drive");
        QTest::addColumn<QString>("dir");
        QTest::addColumn<char>("separator");
        QTest::addColumn<QString>("database");
        QTest::addColumn<QString>("copy");
        QTest::addColumn<QString>("hex");
        QTest::newRow("Linux") << "/media/ipod/" << "/home/me/" << '/'
                               << "/media/ipod/iPod_Control/iTunes/iTunesDB" << "/home/me/Vemo_temp"
                               << "/home/me/Vemo_temp_hex.txt";
        QTest::newRow("Linux root") << "/" << "/" << '/' << "/iPod_Control/iTunes/iTunesDB"
                                    << "/Vemo_temp" << "/Vemo_temp_hex.txt";
        QTest::newRow("Windows") << "E:\\" << "C:\\" << '\\' << "E:\\iPod_Control\\iTunes\\iTunesDB"
                                 << "C:\\Vemo_temp" << "C:\\Vemo_temp_hex.txt";
        QTest::newRow("non-ASCII folder") << QString::fromUtf8("/media/Añna's iPod/") << "/tmp/x/" << '/'
                                          << QString::fromUtf8("/media/Añna's iPod/iPod_Control/iTunes/iTunesDB")
                                          << "/tmp/x/Vemo_temp" << "/tmp/x/Vemo_temp_hex.txt";
    }

    void workFilePaths()
    {
        QFETCH(QString, drive);
        QFETCH(QString, dir);
        QFETCH(char, separator);
        const WorkFiles files = workFiles(drive, dir, separator);
        QTEST(QString::fromStdString(files.database), "database");
        QTEST(QString::fromStdString(files.stagedCopy), "copy");
        QTEST(QString::fromStdString(files.hexFile), "hex");
    }

    // The staged copy holds the database's bytes, the hex file twice as many characters;
    // files of those names from before are replaced.
    void stagesTheDatabase_data()
    {
        QTest::addColumn<QByteArray>("database");
        QTest::addColumn<bool>("leftovers");
        QTest::newRow("0, 10, 255") << QByteArray("\x00\x0A\xFF", 3) << false;
        QTest::newRow("empty database") << QByteArray() << false;
        QTest::newRow("earlier work files are replaced") << QByteArray("mhbd\x68\0\0\0", 8) << true;
    }

    void stagesTheDatabase()
    {
        QFETCH(QByteArray, database);
        QFETCH(bool, leftovers);
        QTemporaryDir player;
        QTemporaryDir exportDir;
        writeAll(player.filePath("iPod_Control/iTunes/iTunesDB"), database);
        if (leftovers) {
            writeAll(exportDir.filePath("Vemo_temp"), QByteArray(5000, 'x'));
            writeAll(exportDir.filePath("Vemo_temp_hex.txt"), QByteArray(9000, 'y'));
        }
        const PosixFileSystem fs;
        const WorkFiles files = workFiles(player.path() + '/', exportDir.path() + '/', '/');
        const std::vector<std::uint8_t> bytes = stageDatabase(fs, files);

        QCOMPARE(QByteArray(reinterpret_cast<const char *>(bytes.data()), qsizetype(bytes.size())), database);
        QCOMPARE(readAll(exportDir.filePath("Vemo_temp")), database);
        QCOMPARE(readAll(exportDir.filePath("Vemo_temp_hex.txt")), database.toHex().toUpper());
    }

    void missingExportDirectoryRaises()
    {
        QTemporaryDir player;
        writeAll(player.filePath("iPod_Control/iTunes/iTunesDB"), "mhbd");
        const PosixFileSystem fs;
        const WorkFiles files = workFiles(player.path() + '/', player.path() + "/gone/", '/');
        QVERIFY_THROWS_EXCEPTION(PlatformError, stageDatabase(fs, files));
    }
};

SONDREL_TEST_MAIN_CORE(TestStaging)
#include "test_staging.moc"
