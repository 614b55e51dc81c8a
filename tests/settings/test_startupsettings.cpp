// The path settings a run starts with: the export directory from the user's folders as the
// desktop names them, the player drive from the drives and what they hold.

#include "fakemachine.h"
#include "filesystem_posix.h"
#include "itunesdbbuilder.h"
#include "startupsettings.h"
#include "testmain.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace sondrel;
using namespace sondrel::test;

class TestStartUpSettings : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_home;

    QString home() const { return m_home.path(); }

private Q_SLOTS:
    // Before anything asks for a standard folder: the home and the desktop's settings are
    // the test's own. (The standard paths' test mode would ignore user-dirs.dirs.)
    void initTestCase()
    {
        QVERIFY(m_home.isValid());
        QVERIFY(QDir(home()).mkpath(".config"));
        qputenv("HOME", QFile::encodeName(home()));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(home() + "/.config"));
    }

    void exportDirectory_data()
    {
        QTest::addColumn<QString>("userDirs");    // the content of user-dirs.dirs
        QTest::addColumn<QStringList>("folders"); // made in the home folder
        QTest::addColumn<QStringList>("refused"); // folders the writability check refuses
        QTest::addColumn<QString>("expected");    // "~" for the home folder

        QTest::newRow("music folder present")
            << "XDG_DESKTOP_DIR=\"$HOME/Desktop\"\nXDG_MUSIC_DIR=\"$HOME/Tunes\"\n"
            << QStringList{"Tunes"} << QStringList{} << "~/Tunes/";
        QTest::newRow("music folder missing: the home folder")
            << "XDG_MUSIC_DIR=\"$HOME/Tunes\"\n"
            << QStringList{} << QStringList{} << "~/";
        QTest::newRow("music folder not writable: the home folder")
            << "XDG_MUSIC_DIR=\"$HOME/Tunes\"\n"
            << QStringList{"Tunes"} << QStringList{"~/Tunes"} << "~/";
        QTest::newRow("neither writable: the last fixed drive")
            << "XDG_MUSIC_DIR=\"$HOME/Tunes\"\n"
            << QStringList{"Tunes"} << QStringList{"~/Tunes", "~"} << "/data/";
        QTest::newRow("a trailing separator is not doubled")
            << "XDG_MUSIC_DIR=\"$HOME/Tunes/\"\n"
            << QStringList{"Tunes"} << QStringList{} << "~/Tunes/";
    }

    void exportDirectory()
    {
        QFETCH(QString, userDirs);
        QFETCH(QStringList, folders);
        QFETCH(QStringList, refused);
        QFETCH(QString, expected);
        for (const QString &name : QDir(home()).entryList(QDir::Dirs | QDir::NoDotAndDotDot))
            if (name != ".config")
                QVERIFY(QDir(home() + '/' + name).removeRecursively());
        QFile file(home() + "/.config/user-dirs.dirs");
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(userDirs.toUtf8());
        file.close();
        for (const QString &folder : folders)
            QVERIFY(QDir(home()).mkpath(folder));
        for (QString &folder : refused)
            folder.replace('~', home());

        FakeMachine machine;
        machine.mount("/dev/sda1", "/", "ext4");
        machine.mount("/dev/sda2", "/data", "ext4");
        PosixFileSystem fs(machine.mountTablePath().toStdString(),
                           machine.sysfsRoot().toStdString());
        fs.setUserFolders(desktopUserFolders());
        StartUpFacts facts = startUpFacts(fs);
        const auto real = facts.writable;
        facts.writable = [&](const std::string &folder) {
            return !refused.contains(QString::fromStdString(folder)) && real(folder);
        };
        QCOMPARE(QString::fromStdString(startUpSettings(facts).dfltDir),
                 QString(expected).replace('~', home()));
    }

    // The player drive: the last removable drive that holds a player's database, else the
    // last removable one; a stick plugged in after the player does not win over it.
    void playerDrive_data()
    {
        QTest::addColumn<QStringList>("drives"); // "name|removable|database file or empty"
        QTest::addColumn<QString>("expected");   // a drive's name, or the default

        QTest::newRow("a stick after the player")
            << QStringList{"system|0|", "ipod|1|iPod_Control/iTunes/iTunesDB", "stick|1|"}
            << "ipod";
        QTest::newRow("no database anywhere: the last removable drive")
            << QStringList{"system|0|", "cards|1|", "stick|1|"} << "stick";
        QTest::newRow("two players: the last one")
            << QStringList{"old|1|iPod_Control/iTunes/iTunesDB",
                           "nano|1|iPod_Control/iTunes/iTunesCDB", "stick|1|"}
            << "nano";
        QTest::newRow("names spelled in other cases")
            << QStringList{"ipod|1|ipod_control/itunes/itunesdb", "stick|1|"} << "ipod";
        QTest::newRow("a database on a fixed drive does not count")
            << QStringList{"backup|0|iPod_Control/iTunes/iTunesDB", "stick|1|"} << "stick";
        QTest::newRow("no removable drive: the default")
            << QStringList{"system|0|", "backup|0|iPod_Control/iTunes/iTunesDB"} << "/media/ipod/";
    }

    void playerDrive()
    {
        QFETCH(QStringList, drives);
        QFETCH(QString, expected);
        FakeMachine machine;
        int disk = 0;
        QString expectedRoot = expected;
        for (const QString &line : drives) {
            const QStringList f = line.split('|');
            const QString mountPoint = machine.root() + "/mnt/" + f[0];
            QVERIFY(QDir().mkpath(mountPoint));
            if (!f[2].isEmpty())
                QVERIFY(writePlayerFile(mountPoint, f[2], "mhbd"));
            const QString device = QStringLiteral("sd%1").arg(QChar('a' + disk++));
            machine.blockDevice(device, f[1] == "1", {device + "1"});
            machine.mount("/dev/" + device + "1", mountPoint, "vfat");
            if (f[0] == expected)
                expectedRoot = mountPoint + '/';
        }
        const std::unique_ptr<FileSystem> fs = machine.fileSystem();
        QCOMPARE(QString::fromStdString(startUpSettings(startUpFacts(*fs)).dfltDrive),
                 expectedRoot);
    }
};

SONDREL_TEST_MAIN_CORE(TestStartUpSettings)
#include "test_startupsettings.moc"
