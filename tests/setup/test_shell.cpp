// The Linux shell of the installer: desktop entries, the user's folders, the names and
// commands of an installation.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include "otheruser.h"
#include "platformerror.h"
#include "shell_posix.h"
#include "testfiles.h"
#include "testmain.h"

using namespace sondrel;
using sondrel::test::readAll;

namespace {

Shortcut shortcutFor(const std::string &installDir)
{
    Shortcut s;
    s.name = "Sondrel";
    s.targetPath = installDir + "Sondrel";
    s.iconLocation = installDir + "sondrel.png";
    s.description = "Sondrel shortcut";
    s.workingDirectory = installDir;
    return s;
}

} // namespace

class TestShell : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void desktopEntryKeys();
    void valueEscapes_data();
    void valueEscapes();

    void programsFolder_data();
    void programsFolder();
    void desktopFolder_data();
    void desktopFolder();

    void saveWritesExecutableEntry();
    void saveReplacesExistingEntry();
    void saveCreatesMissingFolders();
    void saveIntoAFileFails();

    void linuxLayout();
    void registrationStartsLdconfig();
    void saveAsTheUserReplacesALinkedEntry();
    void currentDirectoryIsTheProcesses();
};

void TestShell::desktopEntryKeys()
{
    QCOMPARE(QString::fromStdString(desktopEntry(shortcutFor("/opt/Sondrel/"))),
             QStringLiteral("[Desktop Entry]\n"
                            "Type=Application\n"
                            "Name=Sondrel\n"
                            "Comment=Sondrel shortcut\n"
                            "Exec=\"/opt/Sondrel/Sondrel\"\n"
                            "Path=/opt/Sondrel/\n"
                            "Icon=/opt/Sondrel/sondrel.png\n"
                            "Terminal=false\n"));
}

// The program path is one quoted argument; inside the quotes `"`, `` ` ``, `$` and `\` are
// escaped, and the string escape then doubles every backslash once more. Other values take
// the string escapes only. No key is broken across lines.
void TestShell::valueEscapes_data()
{
    QTest::addColumn<QString>("installDir");
    QTest::addColumn<QString>("line");
    QTest::newRow("Exec: blank") << "/opt/My Programs/"
                                 << R"(Exec="/opt/My Programs/Sondrel")";
    QTest::newRow("Exec: double quote") << R"(/opt/a"b/)"
                                        << R"(Exec="/opt/a\\"b/Sondrel")";
    QTest::newRow("Exec: dollar") << "/opt/$HOME/"
                                  << R"(Exec="/opt/\\$HOME/Sondrel")";
    QTest::newRow("Exec: backtick") << "/opt/`x`/"
                                    << R"(Exec="/opt/\\`x\\`/Sondrel")";
    QTest::newRow("Exec: backslash") << R"(/opt/a\b/)"
                                     << R"(Exec="/opt/a\\\\b/Sondrel")";
    QTest::newRow("Exec: percent") << "/opt/100%/"
                                   << R"(Exec="/opt/100%%/Sondrel")";
    QTest::newRow("Exec: apostrophe") << "/opt/Tom's/"
                                      << R"(Exec="/opt/Tom's/Sondrel")";
    QTest::newRow("Path: backslash") << R"(/opt/a\b/)"
                                     << R"(Path=/opt/a\\b/)";
    QTest::newRow("Path: line break") << "/opt/a\nb/"
                                      << R"(Path=/opt/a\nb/)";
    QTest::newRow("Path: tab") << "/opt/a\tb/"
                               << R"(Path=/opt/a\tb/)";
    QTest::newRow("Path: leading blank") << " opt/"
                                         << R"(Path=\sopt/)";
}

void TestShell::valueEscapes()
{
    QFETCH(QString, installDir);
    QFETCH(QString, line);
    const QString entry =
        QString::fromStdString(desktopEntry(shortcutFor(installDir.toStdString())));
    QVERIFY2(entry.split(u'\n').contains(line), qPrintable(entry));
    QCOMPARE(entry.count(u'\n'), 8);
}

void TestShell::programsFolder_data()
{
    QTest::addColumn<QString>("dataHome");
    QTest::addColumn<QString>("home");
    QTest::addColumn<QString>("folder");
    QTest::newRow("unset") << ""
                           << "/home/ann"
                           << "/home/ann/.local/share/applications";
    QTest::newRow("set") << "/data/ann"
                         << "/home/ann"
                         << "/data/ann/applications";
    QTest::newRow("trailing slash") << "/data/ann/"
                                    << "/home/ann/"
                                    << "/data/ann/applications";
    QTest::newRow("relative is ignored") << "data"
                                         << "/home/ann"
                                         << "/home/ann/.local/share/applications";
    QTest::newRow("home is root") << ""
                                  << "/"
                                  << "/.local/share/applications";
}

void TestShell::programsFolder()
{
    QFETCH(QString, dataHome);
    QFETCH(QString, home);
    QFETCH(QString, folder);
    QCOMPARE(QString::fromStdString(xdgProgramsFolder(dataHome.toStdString(), home.toStdString())),
             folder);
}

// The desktop as the user's user-dirs.dirs names it.
void TestShell::desktopFolder_data()
{
    QTest::addColumn<QString>("userDirs");
    QTest::addColumn<QString>("home");
    QTest::addColumn<QString>("folder");
    const QString written = "# This file is written by xdg-user-dirs-update\n"
                            "XDG_DOWNLOAD_DIR=\"$HOME/Downloads\"\n";
    QTest::newRow("below the home") << written + "XDG_DESKTOP_DIR=\"$HOME/Schreibtisch\"\n"
                                    << "/home/ann"
                                    << "/home/ann/Schreibtisch";
    QTest::newRow("absolute") << "XDG_DESKTOP_DIR=\"/data/ann/Desk/\"\n"
                              << "/home/ann"
                              << "/data/ann/Desk";
    QTest::newRow("the home itself") << "XDG_DESKTOP_DIR=\"$HOME/\"\n"
                                     << "/home/ann"
                                     << "/home/ann";
    QTest::newRow("blank and escaped quote") << "  XDG_DESKTOP_DIR=\"$HOME/My \\\"Desk\\\"\"\n"
                                             << "/home/ann"
                                             << "/home/ann/My \"Desk\"";
    QTest::newRow("no file") << ""
                             << "/home/ann"
                             << "/home/ann/Desktop";
    QTest::newRow("not named") << written << "/home/ann/"
                               << "/home/ann/Desktop";
    QTest::newRow("commented out") << "# XDG_DESKTOP_DIR=\"/elsewhere\"\n"
                                   << "/home/ann"
                                   << "/home/ann/Desktop";
    QTest::newRow("relative is no folder") << "XDG_DESKTOP_DIR=\"Desk\"\n"
                                           << "/home/ann"
                                           << "/home/ann/Desktop";
    QTest::newRow("$HOMEWORK is not $HOME") << "XDG_DESKTOP_DIR=\"$HOMEWORK\"\n"
                                            << "/home/ann"
                                            << "/home/ann/Desktop";
    QTest::newRow("unclosed quote") << "XDG_DESKTOP_DIR=\"/elsewhere\n"
                                    << "/home/ann"
                                    << "/home/ann/Desktop";
}

void TestShell::desktopFolder()
{
    QFETCH(QString, userDirs);
    QFETCH(QString, home);
    QFETCH(QString, folder);
    QCOMPARE(QString::fromStdString(xdgDesktopFolder(userDirs.toStdString(), home.toStdString())),
             folder);
}

void TestShell::saveWritesExecutableEntry()
{
    QTemporaryDir dir;
    const PosixShell shell(dir.filePath("apps/").toStdString(),
                           dir.filePath("Desktop").toStdString());
    QCOMPARE(QString::fromStdString(shell.programsFolder()), dir.filePath("apps"));
    QCOMPARE(QString::fromStdString(shell.desktopFolder()), dir.filePath("Desktop"));

    QDir().mkpath(dir.filePath("apps"));
    const QString path = dir.filePath("apps/Sondrel.desktop");
    shell.saveShortcut(path.toStdString(), shortcutFor("/opt/Sondrel/"));
    QCOMPARE(readAll(path), QByteArray::fromStdString(desktopEntry(shortcutFor("/opt/Sondrel/"))));
    const QFileInfo info(path);
    QVERIFY(info.permission(QFile::ExeOwner));
    QVERIFY(info.permission(QFile::ReadOther));
    // No temporary file is left beside it.
    QCOMPARE(QDir(dir.filePath("apps")).entryList(QDir::Files | QDir::Hidden),
             QStringList{"Sondrel.desktop"});
}

void TestShell::saveReplacesExistingEntry()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("Sondrel.desktop");
    QFile old(path);
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.write("[Desktop Entry]\nType=Application\nName=Old\nExec=/old/Sondrel\nX-Long=" +
              QByteArray(4000, 'x') + "\n");
    old.close();
    QVERIFY(old.setPermissions(QFile::ReadOwner | QFile::WriteOwner));

    const PosixShell shell(dir.path().toStdString(), dir.path().toStdString());
    shell.saveShortcut(path.toStdString(), shortcutFor("/srv/Sondrel/"));
    QCOMPARE(readAll(path), QByteArray::fromStdString(desktopEntry(shortcutFor("/srv/Sondrel/"))));
    QVERIFY(QFileInfo(path).permission(QFile::ExeOwner));
}

// A fresh account may lack ~/.local/share/applications or ~/Desktop.
void TestShell::saveCreatesMissingFolders()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("home/.local/share/applications/Sondrel.desktop");
    const PosixShell shell(dir.filePath("home/.local/share/applications").toStdString(),
                           dir.filePath("home/Desktop").toStdString());
    shell.saveShortcut(path.toStdString(), shortcutFor("/opt/Sondrel/"));
    QVERIFY(QFileInfo(path).isFile());
    QVERIFY(
        !QFileInfo(dir.filePath("home/.local/share/applications")).permission(QFile::ReadOther));
}

void TestShell::saveIntoAFileFails()
{
    QTemporaryDir dir;
    QFile blocker(dir.filePath("Desktop"));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    const PosixShell shell(dir.path().toStdString(), dir.filePath("Desktop").toStdString());
    try {
        shell.saveShortcut(dir.filePath("Desktop/Sondrel.desktop").toStdString(),
                           shortcutFor("/opt/Sondrel/"));
        QFAIL("saving below a file succeeded");
    } catch (const PlatformError &error) {
        QCOMPARE(error.number(), ENOTDIR);
        QVERIFY(QString::fromStdString(error.description()).contains("Desktop/Sondrel.desktop"));
    }
}

void TestShell::linuxLayout()
{
    const InstallLayout layout = installLayout();
    QCOMPARE(layout.programFile, std::string("Sondrel"));
    QCOMPARE(layout.readMeFile, std::string("READ ME FIRST.TXT"));
    QCOMPARE(layout.gridControlFile, std::string("libtrackgrid.so.1"));
    QCOMPARE(layout.shortcutFile, std::string("Sondrel.desktop"));
    QCOMPARE(layout.iconFile, std::string("sondrel.png"));
}

void TestShell::registrationStartsLdconfig()
{
    const std::optional<CommandLine> command =
        registrationCommand("/usr/local/lib/libtrackgrid.so.1");
    QVERIFY(command);
    QCOMPARE(command->program, std::string("/sbin/ldconfig"));
    QVERIFY(command->arguments.empty());
}

// Under sudo the entry is written by a child that is the user (the installer's tests
// cover the folders made for it and a Desktop that links elsewhere): an entry that links
// to a file of root's is replaced as a link, and root's file stays as it was.
void TestShell::saveAsTheUserReplacesALinkedEntry()
{
    QTemporaryDir dir;
    const QString home = dir.filePath("home");
    QDir().mkpath(home + "/Desktop");
    const std::optional<UserAccount> tester = test::otherUser(dir, home);
    if (!tester)
        QSKIP("needs root and the user tester (useradd -m tester)");
    QFile secret(dir.filePath("passwd"));
    QVERIFY(secret.open(QIODevice::WriteOnly));
    secret.write("root's own");
    secret.close();
    const QString entry = home + "/Desktop/Sondrel.desktop";
    QVERIFY(QFile::link(dir.filePath("passwd"), entry));

    const PosixShell shell(home.toStdString(), (home + "/Desktop").toStdString(), *tester);
    shell.saveShortcut(entry.toStdString(), shortcutFor("/opt/Sondrel/"));
    QCOMPARE(readAll(dir.filePath("passwd")), QByteArray("root's own"));
    const QFileInfo info(entry);
    QVERIFY(!info.isSymLink());
    QCOMPARE(info.ownerId(), uint(tester->uid));
    QCOMPARE(readAll(entry), QByteArray::fromStdString(desktopEntry(shortcutFor("/opt/Sondrel/"))));
}

void TestShell::currentDirectoryIsTheProcesses()
{
    QTemporaryDir dir;
    const QString before = QDir::currentPath();
    QVERIFY(QDir::setCurrent(dir.path()));
    const QString seen = QString::fromStdString(currentDirectory());
    QDir::setCurrent(before);
    QCOMPARE(seen, QFileInfo(dir.path()).canonicalFilePath());
}

SONDREL_TEST_MAIN(TestShell)
#include "test_shell.moc"
