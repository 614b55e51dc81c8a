// The install procedure, run between temporary folders without a window.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>

#include <cerrno>
#include <unistd.h>

#include "installprocedure.h"
#include "platformerror.h"
#include "setupmachine.h"
#include "testmain.h"

using namespace sondrel;
using sondrel::setup::InstallProcedure;
using sondrel::setup::InstallRequest;
using sondrel::test::SetupMachine;
using Outcome = InstallProcedure::Outcome;

Q_DECLARE_METATYPE(InstallProcedure::Outcome)

namespace {

QByteArray logo()
{
    return SetupMachine::readFile(QStringLiteral(":/logo.png"));
}

QString expectedEntry(const QString &installDir)
{
    return QStringLiteral("[Desktop Entry]\n"
                          "Type=Application\n"
                          "Name=Sondrel\n"
                          "Comment=Sondrel shortcut\n"
                          "Exec=\"%1Sondrel\"\n"
                          "Path=%1\n"
                          "Icon=%1sondrel.png\n"
                          "Terminal=false\n")
        .arg(installDir);
}

Outcome install(const SetupMachine &machine, const QString &installDir, bool startMenu = true,
                bool desktop = true)
{
    return InstallProcedure(machine.services()).run(InstallRequest{installDir, startMenu, desktop});
}

// Runs the install and returns the number of the error it raised (0 for none).
int failingInstall(const SetupMachine &machine, const QString &installDir)
{
    try {
        install(machine, installDir);
    } catch (const PlatformError &error) {
        return error.number();
    }
    return 0;
}

} // namespace

class TestInstallProcedure : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void completeInstall();
    void texts();

    void gridControl_data();
    void gridControl();

    void installDirectory_data();
    void installDirectory();

    void missingFile_data();
    void missingFile();
    void olderCopiesAreReplaced();

    void shortcuts_data();
    void shortcuts();
    void desktopEntries();
    void existingEntriesAreReplaced();

    void failures_data();
    void failures();
    void noWritePermission();
    void installAgainAfterFailure();
};

void TestInstallProcedure::completeInstall()
{
    SetupMachine machine;
    machine.extract();
    const QString d = machine.installDir();

    QCOMPARE(install(machine, d), Outcome::Completed);

    QCOMPARE(SetupMachine::readFile(machine.system + "/libtrackgrid.so"), QByteArray("grid control"));
    QCOMPARE(SetupMachine::readFile(d + "Sondrel"), QByteArray("new program"));
    QCOMPARE(SetupMachine::readFile(d + "READ ME FIRST.TXT"), QByteArray("new read-me"));
    QCOMPARE(SetupMachine::readFile(d + "sondrel.png"), logo());
    QVERIFY(!logo().isEmpty());
    // The files are moved, not copied: only the installer is left behind.
    QCOMPARE(QDir(machine.work).entryList(QDir::Files), QStringList{"VemoSetup"});
    QCOMPARE(QDir(d).entryList(QDir::Files),
             (QStringList{"READ ME FIRST.TXT", "Sondrel", "sondrel.png"}));
    QVERIFY(QFileInfo(machine.programs + "/Sondrel.desktop").isFile());
    QVERIFY(QFileInfo(machine.desktop + "/Sondrel.desktop").isFile());

    // The loader's cache is rebuilt once, detached, by the tool's full path.
    QCOMPARE(machine.started->size(), std::size_t(1));
    QCOMPARE(machine.started->front().program, std::string("/sbin/ldconfig"));
    QVERIFY(machine.started->front().arguments.empty());
    QCOMPARE(machine.started->front().style, WindowStyle::Minimized);
    QCOMPARE(*machine.shellsMade, 1);
}

void TestInstallProcedure::texts()
{
    QCOMPARE(setup::extractMessage(),
             "Please extract ALL the files included in Sondrel.zip files to the same directory.");
    QCOMPARE(setup::successMessage(), "Installation completed successfully!");
    QCOMPARE(setup::installedProgram("/opt/My Programs/"), "/opt/My Programs/Sondrel");
}

void TestInstallProcedure::gridControl_data()
{
    QTest::addColumn<bool>("inSystem");
    QTest::addColumn<bool>("inWork");
    QTest::addColumn<Outcome>("outcome");
    QTest::addColumn<QByteArray>("systemCopy");
    QTest::addColumn<bool>("leftInWork");
    QTest::addColumn<int>("registrations");

    QTest::newRow("in the system folder only") << true << false << Outcome::Completed
                                               << QByteArray("old control") << false << 0;
    QTest::newRow("in both: the extracted copy is deleted")
        << true << true << Outcome::Completed << QByteArray("old control") << false << 0;
    QTest::newRow("in the working folder only: moved and registered")
        << false << true << Outcome::Completed << QByteArray("grid control") << false << 1;
    QTest::newRow("in neither: the extract message")
        << false << false << Outcome::FilesMissing << QByteArray() << false << 0;
}

void TestInstallProcedure::gridControl()
{
    QFETCH(bool, inSystem);
    QFETCH(bool, inWork);
    QFETCH(Outcome, outcome);
    QFETCH(QByteArray, systemCopy);
    QFETCH(bool, leftInWork);
    QFETCH(int, registrations);

    SetupMachine machine;
    machine.extract(inWork);
    if (inSystem)
        SetupMachine::writeFile(machine.system + "/libtrackgrid.so", "old control");
    const QStringList before = machine.snapshot();

    QCOMPARE(install(machine, machine.installDir()), outcome);

    QCOMPARE(SetupMachine::readFile(machine.system + "/libtrackgrid.so"), systemCopy);
    QCOMPARE(QFileInfo::exists(machine.work + "/libtrackgrid.so"), leftInWork);
    QCOMPARE(int(machine.started->size()), registrations);
    if (outcome == Outcome::FilesMissing) {
        // Nothing at all is touched: no install directory, the other files stay in W.
        QCOMPARE(machine.snapshot(), before);
        QCOMPARE(*machine.shellsMade, 0);
    } else {
        QVERIFY(QFileInfo::exists(machine.installDir() + "Sondrel"));
    }
}

void TestInstallProcedure::installDirectory_data()
{
    QTest::addColumn<QString>("relative");
    QTest::addColumn<bool>("existsBefore");
    QTest::newRow("missing, one level below an existing folder") << "opt/Sondrel/" << false;
    QTest::newRow("already there") << "opt/Sondrel/" << true;
    QTest::newRow("with blanks") << "opt/Program Files/" << false;
}

void TestInstallProcedure::installDirectory()
{
    QFETCH(QString, relative);
    QFETCH(bool, existsBefore);
    SetupMachine machine;
    machine.extract();
    const QString d = machine.path(relative);
    if (existsBefore)
        SetupMachine::writeFile(d + "notes.txt", "the user's own file");

    QCOMPARE(install(machine, d), Outcome::Completed);
    QVERIFY(QFileInfo(d).isDir());
    QCOMPARE(SetupMachine::readFile(d + "Sondrel"), QByteArray("new program"));
    if (existsBefore)
        QCOMPARE(SetupMachine::readFile(d + "notes.txt"), QByteArray("the user's own file"));
}

void TestInstallProcedure::missingFile_data()
{
    QTest::addColumn<bool>("program");
    QTest::addColumn<bool>("readMe");
    QTest::addColumn<QByteArray>("programInD");
    QTest::addColumn<QByteArray>("readMeInD");
    QTest::addColumn<bool>("readMeLeftInW");

    // The older program is deleted before the missing new one is noticed; the read-me
    // step is never reached.
    QTest::newRow("program missing") << false << true << QByteArray() << QByteArray("old read-me") << true;
    // The program is already in place when the read-me turns out to be missing.
    QTest::newRow("read-me missing") << true << false << QByteArray("new program") << QByteArray()
                                     << false;
}

void TestInstallProcedure::missingFile()
{
    QFETCH(bool, program);
    QFETCH(bool, readMe);
    QFETCH(QByteArray, programInD);
    QFETCH(QByteArray, readMeInD);
    QFETCH(bool, readMeLeftInW);

    SetupMachine machine;
    machine.extract(true, program, readMe);
    const QString d = machine.installDir();
    SetupMachine::writeFile(d + "Sondrel", "old program");
    SetupMachine::writeFile(d + "READ ME FIRST.TXT", "old read-me");

    QCOMPARE(install(machine, d, true, true), Outcome::FilesMissing);

    // The steps before the stop stay done.
    QCOMPARE(SetupMachine::readFile(machine.system + "/libtrackgrid.so"), QByteArray("grid control"));
    QCOMPARE(machine.started->size(), std::size_t(1));
    QCOMPARE(SetupMachine::readFile(d + "Sondrel"), programInD);
    QCOMPARE(SetupMachine::readFile(d + "READ ME FIRST.TXT"), readMeInD);
    QCOMPARE(QFileInfo::exists(machine.work + "/READ ME FIRST.TXT"), readMeLeftInW);
    // No shortcut, no icon, no shell.
    QVERIFY(QDir(machine.programs).isEmpty());
    QVERIFY(QDir(machine.desktop).isEmpty());
    QVERIFY(!QFileInfo::exists(d + "sondrel.png"));
    QCOMPARE(*machine.shellsMade, 0);
}

void TestInstallProcedure::olderCopiesAreReplaced()
{
    SetupMachine machine;
    machine.extract();
    const QString d = machine.installDir();
    SetupMachine::writeFile(d + "Sondrel", "old program");
    SetupMachine::writeFile(d + "READ ME FIRST.TXT", "old read-me");
    SetupMachine::writeFile(d + "sondrel.png", "old icon");

    QCOMPARE(install(machine, d), Outcome::Completed);
    QCOMPARE(SetupMachine::readFile(d + "Sondrel"), QByteArray("new program"));
    QCOMPARE(SetupMachine::readFile(d + "READ ME FIRST.TXT"), QByteArray("new read-me"));
    QCOMPARE(SetupMachine::readFile(d + "sondrel.png"), logo());
}

void TestInstallProcedure::shortcuts_data()
{
    QTest::addColumn<bool>("startMenu");
    QTest::addColumn<bool>("desktop");
    QTest::newRow("none") << false << false;
    QTest::newRow("start menu") << true << false;
    QTest::newRow("desktop") << false << true;
    QTest::newRow("both") << true << true;
}

void TestInstallProcedure::shortcuts()
{
    QFETCH(bool, startMenu);
    QFETCH(bool, desktop);
    SetupMachine machine;
    machine.extract();
    const QString d = machine.installDir();

    QCOMPARE(install(machine, d, startMenu, desktop), Outcome::Completed);
    QCOMPARE(QFileInfo::exists(machine.programs + "/Sondrel.desktop"), startMenu);
    QCOMPARE(QFileInfo::exists(machine.desktop + "/Sondrel.desktop"), desktop);
    // The icon goes with the shortcuts that show it.
    QCOMPARE(QFileInfo::exists(d + "sondrel.png"), startMenu || desktop);
    // Both folders are looked up whether or not a shortcut is wanted.
    QCOMPARE(*machine.shellsMade, 1);
}

void TestInstallProcedure::desktopEntries()
{
    SetupMachine machine;
    machine.extract();
    const QString d = machine.path("opt/Program Files/");

    QCOMPARE(install(machine, d), Outcome::Completed);
    for (const QString &entry : {machine.programs + "/Sondrel.desktop", machine.desktop + "/Sondrel.desktop"}) {
        QCOMPARE(QString::fromUtf8(SetupMachine::readFile(entry)), expectedEntry(d));
        QVERIFY(QFileInfo(entry).permission(QFile::ExeOwner));
    }
    QVERIFY(expectedEntry(d).contains("Exec=\"" + d + "Sondrel\"\n"));
}

void TestInstallProcedure::existingEntriesAreReplaced()
{
    SetupMachine machine;
    machine.extract();
    SetupMachine::writeFile(machine.programs + "/Sondrel.desktop", "[Desktop Entry]\nName=Older\n");
    SetupMachine::writeFile(machine.desktop + "/Sondrel.desktop", "[Desktop Entry]\nName=Older\n");

    QCOMPARE(install(machine, machine.installDir()), Outcome::Completed);
    QCOMPARE(QString::fromUtf8(SetupMachine::readFile(machine.programs + "/Sondrel.desktop")),
             expectedEntry(machine.installDir()));
    QCOMPARE(QString::fromUtf8(SetupMachine::readFile(machine.desktop + "/Sondrel.desktop")),
             expectedEntry(machine.installDir()));
}

// An operation that fails raises the system's error and ends the install at that step;
// what was done before stays done.
void TestInstallProcedure::failures_data()
{
    QTest::addColumn<QString>("blocker");   // a file made before the install
    QTest::addColumn<QString>("relative");  // the install directory
    QTest::addColumn<int>("error");
    QTest::addColumn<bool>("programMoved");

    QTest::newRow("parent folder missing") << "" << "nowhere/Sondrel/" << ENOENT << false;
    QTest::newRow("parent is a file") << "opt/plain" << "opt/plain/Sondrel/" << ENOTDIR << false;
    QTest::newRow("program's place taken by a folder")
        << "opt/Sondrel/Sondrel/" << "opt/Sondrel/" << EEXIST << false;
    QTest::newRow("programs folder is a file")
        << "home/.local/share/applications" << "opt/Sondrel/" << ENOTDIR << true;
}

void TestInstallProcedure::failures()
{
    QFETCH(QString, blocker);
    QFETCH(QString, relative);
    QFETCH(int, error);
    QFETCH(bool, programMoved);

    SetupMachine machine;
    machine.extract();
    if (blocker.endsWith('/')) {
        QVERIFY(QDir().mkpath(machine.path(blocker)));
    } else if (!blocker.isEmpty()) {
        QDir(machine.path(blocker)).removeRecursively();
        SetupMachine::writeFile(machine.path(blocker), "a plain file");
    }

    QCOMPARE(failingInstall(machine, machine.path(relative)), error);
    // The grid control file was moved and registered before the failure.
    QCOMPARE(SetupMachine::readFile(machine.system + "/libtrackgrid.so"), QByteArray("grid control"));
    QCOMPARE(machine.started->size(), std::size_t(1));
    QCOMPARE(QFileInfo::exists(machine.work + "/Sondrel"), !programMoved);
    QVERIFY(!QFileInfo::exists(machine.desktop + "/Sondrel.desktop"));
}

void TestInstallProcedure::noWritePermission()
{
    if (::geteuid() == 0)
        QSKIP("running as root: every folder is writable");
    SetupMachine machine;
    machine.extract();
    QVERIFY(QFile::setPermissions(machine.installParent,
                                  QFile::ReadOwner | QFile::ExeOwner));
    const int error = failingInstall(machine, machine.installDir());
    QFile::setPermissions(machine.installParent,
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QCOMPARE(error, EACCES);
    QVERIFY(QFileInfo::exists(machine.work + "/Sondrel"));
}

// After a failure the user chooses another directory and installs again: the grid control
// file is already in the system folder, so it is neither moved nor registered again.
void TestInstallProcedure::installAgainAfterFailure()
{
    SetupMachine machine;
    machine.extract();
    QCOMPARE(failingInstall(machine, machine.path("nowhere/Sondrel/")), ENOENT);
    QCOMPARE(install(machine, machine.installDir()), Outcome::Completed);
    QCOMPARE(SetupMachine::readFile(machine.installDir() + "Sondrel"), QByteArray("new program"));
    QCOMPARE(machine.started->size(), std::size_t(1));
    QCOMPARE(QDir(machine.work).entryList(QDir::Files), QStringList{"VemoSetup"});
}

SONDREL_TEST_MAIN(TestInstallProcedure)
#include "test_installprocedure.moc"
