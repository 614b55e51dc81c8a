#include "faultyfilesystem.h"
#include "filesystem_posix.h"
#include "hextext.h"
#include "itunesdbbuilder.h"
#include "platformerror.h"
#include "staging.h"
#include "testfiles.h"
#include "testmain.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

using namespace sondrel;
using namespace sondrel::test;

Q_DECLARE_METATYPE(sondrel::InflateStatus)
Q_DECLARE_METATYPE(sondrel::HexPath)

namespace {

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
        const std::span<const std::uint8_t> data = bytesOf(bytes);
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
        const std::span<const std::uint8_t> data = bytesOf(bytes);
        RecordingFile file;
        writeHexText(file, data);
        QCOMPARE(file.text, bytes.toHex().toUpper());
        QCOMPARE(file.pieces, 4);
        QVERIFY(file.largestPiece <= 128 * 1024);
    }

    // Every way of encoding gives the same text as a plain byte-by-byte reference, at
    // every length around the vector widths and at every offset into a buffer.
    void hexPathsMatchThePlainText_data()
    {
        QTest::addColumn<HexPath>("path");
        QTest::addColumn<int>("length");
        const std::pair<const char *, HexPath> paths[] = {
            {"plain", HexPath::Plain}, {"SSSE3", HexPath::Ssse3}, {"AVX2", HexPath::Avx2}};
        for (const auto &[name, path] : paths)
            for (const int length : {0, 1, 15, 16, 17, 31, 32, 33, 63, 64, 65, 95, 4099})
                QTest::addRow("%s, %d bytes", name, length) << path << length;
    }

    void hexPathsMatchThePlainText()
    {
        QFETCH(HexPath, path);
        QFETCH(int, length);
        if (!hexPathAvailable(path))
            QSKIP("This processor lacks these instructions.");
        QRandomGenerator random(quint32(length) * 7919u + quint32(path));
        QByteArray bytes(length + 3, '\0');
        for (char &b : bytes)
            b = char(random.bounded(256));
        for (int offset = 0; offset < 3; ++offset) { // unaligned starts too
            const QByteArray in = bytes.mid(offset, length);
            QByteArray out(2 * length + 1, '#'); // the byte after the text stays
            encodeHexWith(path, reinterpret_cast<const std::uint8_t *>(in.constData()),
                          std::size_t(length), out.data());
            QCOMPARE(out, in.toHex().toUpper() + '#');
        }
    }

    void workFilePaths_data()
    {
        QTest::addColumn<QString>("drive");
        QTest::addColumn<QString>("dir");
        QTest::addColumn<char>("separator");
        QTest::addColumn<QString>("database");
        QTest::addColumn<QString>("copy");
        QTest::addColumn<QString>("hex");
        QTest::newRow("Linux") << "/media/ipod/"
                               << "/home/me/" << '/' << "/media/ipod/iPod_Control/iTunes/iTunesDB"
                               << "/home/me/Vemo_temp"
                               << "/home/me/Vemo_temp_hex.txt";
        QTest::newRow("Linux root") << "/"
                                    << "/" << '/' << "/iPod_Control/iTunes/iTunesDB"
                                    << "/Vemo_temp"
                                    << "/Vemo_temp_hex.txt";
        QTest::newRow("Windows") << "E:\\"
                                 << "C:\\" << '\\' << "E:\\iPod_Control\\iTunes\\iTunesDB"
                                 << "C:\\Vemo_temp"
                                 << "C:\\Vemo_temp_hex.txt";
        QTest::newRow("non-ASCII folder")
            << QString::fromUtf8("/media/Añna's iPod/") << "/tmp/x/" << '/'
            << QString::fromUtf8("/media/Añna's iPod/iPod_Control/iTunes/iTunesDB")
            << "/tmp/x/Vemo_temp"
            << "/tmp/x/Vemo_temp_hex.txt";
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

    // The database files are found whatever the letter case of their names and folders.
    void findsTheDatabaseFiles_data()
    {
        QTest::addColumn<QStringList>("files"); // on the player; a trailing "/" makes a folder
        QTest::addColumn<QString>("plain");
        QTest::addColumn<QString>("compressed");
        QTest::newRow("as the desktop software spells them")
            << QStringList{"iPod_Control/iTunes/iTunesDB", "iPod_Control/iTunes/iTunesCDB"}
            << "iPod_Control/iTunes/iTunesDB"
            << "iPod_Control/iTunes/iTunesCDB";
        QTest::newRow("formatted on another system")
            << QStringList{"ipod_control/itunes/itunesdb"} << "ipod_control/itunes/itunesdb"
            << "";
        QTest::newRow("compressed only, upper case")
            << QStringList{"IPOD_CONTROL/ITUNES/ITUNESCDB"} << ""
            << "IPOD_CONTROL/ITUNES/ITUNESCDB";
        QTest::newRow("a folder is no database")
            << QStringList{"iPod_Control/iTunes/iTunesDB/"} << ""
            << "";
        QTest::newRow("other names are no database")
            << QStringList{"iPod_Control/iTunes/iTunesDB.bak", "iPod_Control/Music/iTunesDB"} << ""
            << "";
        QTest::newRow("empty player") << QStringList{} << ""
                                      << "";
    }

    void findsTheDatabaseFiles()
    {
        QFETCH(QStringList, files);
        QTemporaryDir player;
        for (const QString &file : files) {
            if (file.endsWith('/'))
                QVERIFY(QDir(player.path()).mkpath(file));
            else
                QVERIFY(writePlayerFile(player.path(), file, "mhbd"));
        }
        const PosixFileSystem fs;
        const PlayerDatabase found = findPlayerDatabase(fs, player.path().toStdString() + "/");
        const auto relative = [&](const std::string &path) {
            return path.empty()
                       ? QString()
                       : QDir(player.path()).relativeFilePath(QString::fromStdString(path));
        };
        QTEST(relative(found.plain), "plain");
        QTEST(relative(found.compressed), "compressed");
        QCOMPARE(found.found(), !found.plain.empty() || !found.compressed.empty());
    }

    // The staged copy holds the database's bytes, the hex file twice as many characters;
    // files of those names from before are left alone. A non-empty compressed database is
    // staged inflated instead of "iTunesDB"; one that cannot be read leaves no work file.
    void stagesTheDatabase_data()
    {
        QTest::addColumn<QByteArray>("compressed"); // "iTunesCDB"; none when null
        QTest::addColumn<QByteArray>("plain");      // "iTunesDB"; none when null
        QTest::addColumn<InflateStatus>("status");
        QTest::addColumn<QByteArray>("staged"); // the staged copy; null: no work files

        TestDatabase current;
        current.dataSets = TestDatabase::modernOrder();
        current.tracks << TestTrack::make("New", "A", "B", "Pop", ":iPod_Control:Music:F00:N.m4a");
        const QByteArray database = buildDatabase(current);
        const QByteArray outdated = buildDatabase(TestDatabase{});
        const QByteArray cdb = compressDatabase(database);
        const QByteArray inflated = cdb.left(0x68) + database.mid(0x68); // the header as stored

        const QByteArray bytes("\x00\x0A\xFF", 3);
        QTest::newRow("plain: 0, 10, 255")
            << QByteArray() << bytes << InflateStatus::Plain << bytes;
        QTest::newRow("plain, empty")
            << QByteArray() << QByteArray("") << InflateStatus::Plain << QByteArray("");
        QTest::newRow("compressed beside an outdated one")
            << cdb << outdated << InflateStatus::Inflated << inflated;
        QTest::newRow("compressed only")
            << cdb << QByteArray() << InflateStatus::Inflated << inflated;
        QTest::newRow("empty compressed stub: the other one is read")
            << QByteArray("") << outdated << InflateStatus::Plain << outdated;
        QTest::newRow("data sets not compressed after all")
            << database << outdated << InflateStatus::Plain << database;
        QTest::newRow("stream cut short")
            << cdb.left(cdb.size() - 30) << outdated << InflateStatus::Damaged << QByteArray();
        QByteArray bomb = database.left(0x68) + QByteArray("mhsd") + QByteArray(4 << 20, '\0');
        QTest::newRow("zip bomb") << compressDatabase(bomb, 9) << outdated
                                  << InflateStatus::TooLarge << QByteArray();
    }

    void stagesTheDatabase()
    {
        QFETCH(QByteArray, compressed);
        QFETCH(QByteArray, plain);
        QFETCH(InflateStatus, status);
        QFETCH(QByteArray, staged);
        QTemporaryDir player;
        QTemporaryDir exportDir;
        if (!compressed.isNull())
            QVERIFY(writePlayerFile(player.path(), "iPod_Control/iTunes/iTunesCDB", compressed));
        if (!plain.isNull())
            QVERIFY(writePlayerFile(player.path(), "iPod_Control/iTunes/iTunesDB", plain));
        if (!staged.isNull()) {
            QVERIFY(writePlayerFile(exportDir.path(), "Vemo_temp", QByteArray(5000, 'x')));
            QVERIFY(writePlayerFile(exportDir.path(), "Vemo_temp_hex.txt", QByteArray(9000, 'y')));
        }
        const PosixFileSystem fs;
        WorkFiles files = workFiles(player.path() + '/', exportDir.path() + '/', '/');
        const PlayerDatabase found = findPlayerDatabase(fs, player.path().toStdString() + "/");
        files.database = found.plain;
        files.compressed = found.compressed;

        const StagedDatabase result = stageDatabase(fs, files);
        QCOMPARE(result.status, status);
        QCOMPARE(result.readable(), !staged.isNull());
        QCOMPARE(QByteArray(reinterpret_cast<const char *>(result.bytes().data()),
                            qsizetype(result.bytes().size())),
                 staged.isNull() ? QByteArray() : staged);
        if (staged.isNull()) {
            QCOMPARE(QDir(exportDir.path()).entryList(QDir::Files | QDir::Hidden), QStringList());
        } else {
            // Files of those names from before stay as they were; the pair takes the next names.
            QCOMPARE(QString::fromStdString(result.files.stagedCopy),
                     exportDir.filePath("Vemo_temp (2)"));
            QCOMPARE(QString::fromStdString(result.files.hexFile),
                     exportDir.filePath("Vemo_temp (2)_hex.txt"));
            QCOMPARE(readAll(exportDir.filePath("Vemo_temp (2)")), staged);
            QCOMPARE(readAll(exportDir.filePath("Vemo_temp (2)_hex.txt")),
                     staged.toHex().toUpper());
            QCOMPARE(readAll(exportDir.filePath("Vemo_temp")), QByteArray(5000, 'x'));
            QCOMPARE(readAll(exportDir.filePath("Vemo_temp_hex.txt")), QByteArray(9000, 'y'));
        }
    }

    void missingExportDirectoryRaises()
    {
        QTemporaryDir player;
        QVERIFY(writePlayerFile(player.path(), "iPod_Control/iTunes/iTunesDB", "mhbd"));
        const PosixFileSystem fs;
        const WorkFiles files = workFiles(player.path() + '/', player.path() + "/gone/", '/');
        QVERIFY_THROWS_EXCEPTION(PlatformError, stageDatabase(fs, files));
    }

    // The work files of a compressed database are written while it inflates: a disk that
    // fills up part way stops the inflating with the disk's error, whichever file it hits
    // and however far the writing has fallen behind, and the check is not left waiting.
    void fullDiskWhileInflating_data()
    {
        QTest::addColumn<QString>("full"); // the work files on the full disk: names beginning so
        QTest::addColumn<int>("bytesFirst");
        QTest::newRow("both, at once") << "Vemo_temp" << 0;
        QTest::newRow("both, part way") << "Vemo_temp" << (3 << 20);
        QTest::newRow("hex text only, part way") << "Vemo_temp_hex" << (5 << 20);
    }

    void fullDiskWhileInflating()
    {
        QFETCH(QString, full);
        QFETCH(int, bytesFirst);
        QTemporaryDir player;
        QTemporaryDir exportDir;
        // Many pieces of inflated bytes, more than the writing holds in waiting.
        const QByteArray database = buildDatabase(TestDatabase{});
        const QByteArray large =
            database.left(0x68) + QByteArray("mhsd") + QByteArray(12 << 20, 'x');
        QVERIFY(writePlayerFile(player.path(), "iPod_Control/iTunes/iTunesCDB",
                                compressDatabase(large, 1)));
        auto plan = std::make_shared<FaultPlan>();
        plan->faults.push_back({FsOp::Write, ENOSPC, 0, exportDir.filePath(full).toStdString(),
                                std::uint64_t(bytesFirst)});
        const FaultyFileSystem fs(plan, std::make_unique<PosixFileSystem>());
        WorkFiles files = workFiles(player.path() + '/', exportDir.path() + '/', '/');
        files.database.clear();
        files.compressed = player.filePath("iPod_Control/iTunes/iTunesCDB").toStdString();

        int raised = 0;
        try {
            stageDatabase(fs, files, InflateLimits{1 << 20, 1 << 30});
        } catch (const PlatformError &error) {
            raised = error.number();
        }
        QCOMPARE(raised, ENOSPC);
        // The work files it made are gone with the failure.
        QCOMPARE(QDir(exportDir.path()).entryList(QDir::Files | QDir::Hidden), QStringList());
    }
};

SONDREL_TEST_MAIN_CORE(TestStaging)
#include "test_staging.moc"
