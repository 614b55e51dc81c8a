// The install procedure, run between temporary folders without a window.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>

#include <cerrno>
#include <fcntl.h>
#include <optional>
#include <unistd.h>

#include "faultyfilesystem.h"
#include "installprocedure.h"
#include "otheruser.h"
#include "platformerror.h"
#include "setupmachine.h"
#include "testmain.h"

using namespace sondrel;
using sondrel::setup::InstallProcedure;
using sondrel::setup::InstallRequest;
using sondrel::test::FaultPlan;
using sondrel::test::FaultyFileSystem;
using sondrel::test::FsOp;
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

Outcome install(const setup::SetupServices &services, const QString &installDir,
                bool startMenu = true, bool desktop = true)
{
    return InstallProcedure(services).run(InstallRequest{installDir, startMenu, desktop});
}

Outcome install(const SetupMachine &machine, const QString &installDir, bool startMenu = true,
                bool desktop = true)
{
    return install(machine.services(), installDir, startMenu, desktop);
}

// Runs the install and returns the error it raised, if any.
std::optional<PlatformError> installError(const setup::SetupServices &services,
                                          const QString &installDir)
{
    try {
        install(services, installDir);
    } catch (const PlatformError &error) {
        return error;
    }
    return std::nullopt;
}

// The number of the error the install raised (0 for none).
int failingInstall(const SetupMachine &machine, const QString &installDir)
{
    const std::optional<PlatformError> error = installError(machine.services(), installDir);
    return error ? error->number() : 0;
}

// The temporary files a step left anywhere on the machine.
QStringList leftovers(const SetupMachine &machine)
{
    return machine.snapshot().filter(".sondrel-");
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

    void shortcuts_data();
    void shortcuts();
    void desktopEntries_data();
    void desktopEntries();

    void failures_data();
    void failures();
    void noWritePermission();
    void installAgainAfterFailure();

    void installTwiceFromTheInstallDirectory_data();
    void installTwiceFromTheInstallDirectory();
    void failedMoveLeavesTheInstalledFiles_data();
    void failedMoveLeavesTheInstalledFiles();
    void acrossFileSystems();
    void failedRegistration();
    void underSudo_data();
    void underSudo();

    void unsafeFolders_data();
    void unsafeFolders();
    void heldOpenFile_data();
    void heldOpenFile();
    void commandLink_data();
    void commandLink();
};

void TestInstallProcedure::commandLink_data()
{
    QTest::addColumn<QString>("before"); // at <link folder>/sondrel-export: "", "link", "file"
    QTest::addColumn<bool>("othersMayWrite");
    QTest::addColumn<bool>("linked");
    QTest::newRow("nothing there: linked") << "" << false << true;
    QTest::newRow("an older link: replaced") << "link" << false << true;
    QTest::newRow("a file that is no link: left as it is") << "file" << false << false;
    QTest::newRow("a folder others may write in: no link") << "" << true << false;
}

void TestInstallProcedure::commandLink()
{
    if (::geteuid() != 0)
        QSKIP("only an install run as root links the command");
    QFETCH(QString, before);
    QFETCH(bool, othersMayWrite);
    QFETCH(bool, linked);
    SetupMachine machine;
    machine.extract();
    const QString link = machine.linkFolder + "/sondrel-export";
    if (before == "link")
        QVERIFY(QFile::link("/old/sondrel-export", link));
    if (before == "file")
        SetupMachine::writeFile(link, "the user's own");
    if (othersMayWrite)
        QVERIFY(QFile::setPermissions(machine.linkFolder, QFileDevice::Permissions(0x7777)));

    QCOMPARE(install(machine, machine.installDir()), Outcome::Completed);
    const QFileInfo placed(link);
    if (linked) {
        QVERIFY(placed.isSymLink());
        QCOMPARE(placed.symLinkTarget(), machine.installDir() + "sondrel-export");
    } else if (before == "file") {
        QCOMPARE(SetupMachine::readFile(link), QByteArray("the user's own"));
    } else {
        QVERIFY(!placed.exists() && !placed.isSymLink());
    }
    QVERIFY(leftovers(machine).isEmpty());
}

void TestInstallProcedure::completeInstall()
{
    SetupMachine machine;
    machine.extract();
    const QString d = machine.installDir();

    QCOMPARE(install(machine, d), Outcome::Completed);

    QCOMPARE(SetupMachine::readFile(machine.system + "/libtrackgrid.so.1"),
             QByteArray("grid control"));
    QCOMPARE(SetupMachine::readFile(d + "Sondrel"), QByteArray("new program"));
    QCOMPARE(SetupMachine::readFile(d + "READ ME FIRST.TXT"), QByteArray("new read-me"));
    QCOMPARE(SetupMachine::readFile(d + "sondrel.png"), logo());
    QVERIFY(!logo().isEmpty());
    // The files are moved, not copied: only the installer is left behind.
    QCOMPARE(QDir(machine.work).entryList(QDir::Files), QStringList{"VemoSetup"});
    QCOMPARE(SetupMachine::readFile(d + "sondrel-export"), QByteArray("new command"));
    QCOMPARE(QDir(d).entryList(QDir::Files),
             (QStringList{"READ ME FIRST.TXT", "Sondrel", "sondrel-export", "sondrel.png"}));
    QVERIFY(QFileInfo(machine.programs + "/Sondrel.desktop").isFile());
    QVERIFY(QFileInfo(machine.desktop + "/Sondrel.desktop").isFile());

    // The loader's cache is rebuilt once by the tool's full path, and waited for.
    QCOMPARE(machine.started->size(), std::size_t(1));
    QCOMPARE(machine.started->front().program, std::string("/sbin/ldconfig"));
    QVERIFY(machine.started->front().arguments.empty());
    QCOMPARE(machine.started->front().style, WindowStyle::Minimized);
    QVERIFY(machine.started->front().waited);
    QVERIFY(machine.startedForUser->empty());
    QCOMPARE(*machine.shellsMade, 1);
    QVERIFY(leftovers(machine).isEmpty());
}

void TestInstallProcedure::texts()
{
    QCOMPARE(setup::extractMessage(),
             "Please extract ALL the files included in Sondrel.zip files to the same directory.");
    QCOMPARE(setup::successMessage(), "Installation completed successfully!");
    QCOMPARE(setup::installedProgram("/opt/My Programs/"), "/opt/My Programs/Sondrel");
    QCOMPARE(setup::unsafeFolderMessage("/home/me"),
             "Sondrel was not installed: \"/home/me\" does not belong to root, or other users can "
             "change it, so what root installs there would not be safe.\n\nNothing was changed. "
             "Please choose an installation directory that only root can change, such as "
             "/opt/Sondrel/.");
}

void TestInstallProcedure::gridControl_data()
{
    QTest::addColumn<QByteArray>("installed"); // in the system folder before (empty: none)
    QTest::addColumn<bool>("extracted");       // "grid control" in W
    QTest::addColumn<Outcome>("outcome");
    QTest::addColumn<QByteArray>("systemCopy");
    QTest::addColumn<int>("registrations");

    QTest::newRow("in the system folder only: left alone, registered")
        << QByteArray("old control") << false << Outcome::Completed << QByteArray("old control")
        << 1;
    QTest::newRow("the same bytes in both: the extracted copy is deleted")
        << QByteArray("grid control") << true << Outcome::Completed << QByteArray("grid control")
        << 1;
    QTest::newRow("an older build installed: replaced and registered")
        << QByteArray("old control") << true << Outcome::Completed << QByteArray("grid control")
        << 1;
    QTest::newRow("a partial file installed: replaced and registered")
        << QByteArray("grid con") << true << Outcome::Completed << QByteArray("grid control") << 1;
    QTest::newRow("in the working folder only: moved and registered")
        << QByteArray() << true << Outcome::Completed << QByteArray("grid control") << 1;
    QTest::newRow("in neither: the extract message")
        << QByteArray() << false << Outcome::FilesMissing << QByteArray() << 0;
}

void TestInstallProcedure::gridControl()
{
    QFETCH(QByteArray, installed);
    QFETCH(bool, extracted);
    QFETCH(Outcome, outcome);
    QFETCH(QByteArray, systemCopy);
    QFETCH(int, registrations);

    SetupMachine machine;
    machine.extract(extracted);
    if (!installed.isEmpty())
        SetupMachine::writeFile(machine.system + "/libtrackgrid.so.1", installed);
    const QStringList before = machine.snapshot();

    QCOMPARE(install(machine, machine.installDir()), outcome);

    QCOMPARE(SetupMachine::readFile(machine.system + "/libtrackgrid.so.1"), systemCopy);
    QVERIFY(!QFileInfo::exists(machine.work + "/libtrackgrid.so.1"));
    QCOMPARE(int(machine.started->size()), registrations);
    QVERIFY(leftovers(machine).isEmpty());
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
    QTest::newRow("already there, with older copies") << "opt/Sondrel/" << true;
    QTest::newRow("with blanks") << "opt/Program Files/" << false;
}

void TestInstallProcedure::installDirectory()
{
    QFETCH(QString, relative);
    QFETCH(bool, existsBefore);
    SetupMachine machine;
    machine.extract();
    const QString d = machine.path(relative);
    if (existsBefore) {
        SetupMachine::writeFile(d + "notes.txt", "the user's own file");
        SetupMachine::writeFile(d + "Sondrel", "old program");
        SetupMachine::writeFile(d + "READ ME FIRST.TXT", "old read-me");
        SetupMachine::writeFile(d + "sondrel.png", "old icon");
    }

    QCOMPARE(install(machine, d), Outcome::Completed);
    QVERIFY(QFileInfo(d).isDir());
    QCOMPARE(SetupMachine::readFile(d + "Sondrel"), QByteArray("new program"));
    QCOMPARE(SetupMachine::readFile(d + "READ ME FIRST.TXT"), QByteArray("new read-me"));
    QCOMPARE(SetupMachine::readFile(d + "sondrel.png"), logo());
    if (existsBefore)
        QCOMPARE(SetupMachine::readFile(d + "notes.txt"), QByteArray("the user's own file"));
}

// A file missing from W is noticed before anything changes: the installed program and
// read-me stay, nothing is moved, registered or written.
void TestInstallProcedure::missingFile_data()
{
    QTest::addColumn<bool>("program");
    QTest::addColumn<bool>("readMe");
    QTest::newRow("program missing") << false << true;
    QTest::newRow("read-me missing") << true << false;
    QTest::newRow("both missing") << false << false;
}

void TestInstallProcedure::missingFile()
{
    QFETCH(bool, program);
    QFETCH(bool, readMe);

    SetupMachine machine;
    machine.extract(true, program, readMe);
    const QString d = machine.installDir();
    SetupMachine::writeFile(d + "Sondrel", "old program");
    SetupMachine::writeFile(d + "READ ME FIRST.TXT", "old read-me");
    const QStringList before = machine.snapshot();

    QCOMPARE(install(machine, d, true, true), Outcome::FilesMissing);

    QCOMPARE(machine.snapshot(), before);
    QCOMPARE(SetupMachine::readFile(d + "Sondrel"), QByteArray("old program"));
    QCOMPARE(SetupMachine::readFile(d + "READ ME FIRST.TXT"), QByteArray("old read-me"));
    QVERIFY(machine.started->empty());
    QCOMPARE(*machine.shellsMade, 0);
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

void TestInstallProcedure::desktopEntries_data()
{
    QTest::addColumn<bool>("older"); // entries of an earlier install there before
    QTest::newRow("new entries") << false;
    QTest::newRow("older entries replaced") << true;
}

void TestInstallProcedure::desktopEntries()
{
    QFETCH(bool, older);
    SetupMachine machine;
    machine.extract();
    const QString d = machine.path("opt/Program Files/");
    const QStringList entries{machine.programs + "/Sondrel.desktop",
                              machine.desktop + "/Sondrel.desktop"};
    for (const QString &entry : older ? entries : QStringList())
        SetupMachine::writeFile(entry, "[Desktop Entry]\nName=Older\n");

    QCOMPARE(install(machine, d), Outcome::Completed);
    for (const QString &entry : entries) {
        QCOMPARE(QString::fromUtf8(SetupMachine::readFile(entry)), expectedEntry(d));
        QVERIFY(QFileInfo(entry).permission(QFile::ExeOwner));
    }
}

// An operation that fails raises the system's error and ends the install at that step;
// what was done before stays done.
void TestInstallProcedure::failures_data()
{
    QTest::addColumn<QString>("blocker");  // a file made before the install
    QTest::addColumn<QString>("relative"); // the install directory
    QTest::addColumn<int>("error");
    QTest::addColumn<bool>("programMoved");

    QTest::newRow("parent folder missing") << ""
                                           << "nowhere/Sondrel/" << ENOENT << false;
    QTest::newRow("parent is a file") << "opt/plain"
                                      << "opt/plain/Sondrel/" << ENOTDIR << false;
    // The program cannot take the folder's place: it goes back to W.
    QTest::newRow("program's place taken by a folder") << "opt/Sondrel/Sondrel/"
                                                       << "opt/Sondrel/" << EISDIR << false;
    QTest::newRow("programs folder is a file") << "home/.local/share/applications"
                                               << "opt/Sondrel/" << ENOTDIR << true;
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
    QCOMPARE(SetupMachine::readFile(machine.system + "/libtrackgrid.so.1"),
             QByteArray("grid control"));
    QCOMPARE(machine.started->size(), std::size_t(1));
    QCOMPARE(SetupMachine::readFile(machine.work + "/Sondrel"),
             programMoved ? QByteArray() : QByteArray("new program"));
    QVERIFY(!QFileInfo::exists(machine.desktop + "/Sondrel.desktop"));
    QVERIFY(leftovers(machine).isEmpty());
}

void TestInstallProcedure::noWritePermission()
{
    if (::geteuid() == 0)
        QSKIP("running as root: every folder is writable");
    SetupMachine machine;
    machine.extract();
    QVERIFY(QFile::setPermissions(machine.installParent, QFile::ReadOwner | QFile::ExeOwner));
    const int error = failingInstall(machine, machine.installDir());
    QFile::setPermissions(machine.installParent,
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QCOMPARE(error, EACCES);
    QVERIFY(QFileInfo::exists(machine.work + "/Sondrel"));
}

// After a failure the user chooses another directory and installs again: the grid control
// file is already in the system folder, so it is not moved again, only registered.
void TestInstallProcedure::installAgainAfterFailure()
{
    SetupMachine machine;
    machine.extract();
    QCOMPARE(failingInstall(machine, machine.path("nowhere/Sondrel/")), ENOENT);
    QCOMPARE(install(machine, machine.installDir()), Outcome::Completed);
    QCOMPARE(SetupMachine::readFile(machine.installDir() + "Sondrel"), QByteArray("new program"));
    QCOMPARE(machine.started->size(), std::size_t(2));
    QCOMPARE(QDir(machine.work).entryList(QDir::Files), QStringList{"VemoSetup"});
}

// The archive extracted into the install directory itself, and VemoSetup run from there
// twice (the second time as a new start): the program and the read-me are already in
// place, whatever the spelling of W, and nothing deletes them.
void TestInstallProcedure::installTwiceFromTheInstallDirectory_data()
{
    QTest::addColumn<QString>("spelling"); // W as the process sees it
    QTest::newRow("the same path") << "opt/Sondrel";
    QTest::newRow("through a link") << "link/Sondrel";
    QTest::newRow("with /./") << "opt/./Sondrel";
    QTest::newRow("with ../") << "opt/../opt/Sondrel";
}

void TestInstallProcedure::installTwiceFromTheInstallDirectory()
{
    QFETCH(QString, spelling);
    SetupMachine machine;
    machine.work = machine.path("opt/Sondrel");
    machine.extract();
    QVERIFY(QFile::link(machine.installParent, machine.path("link")));
    setup::SetupServices services = machine.services();
    const std::string w = machine.path(spelling).toStdString();
    services.workingDirectory = [w] { return w; };
    const QString d = machine.installDir();

    for (int run = 1; run <= 2; ++run) {
        QCOMPARE(install(services, d), Outcome::Completed);
        QCOMPARE(SetupMachine::readFile(d + "Sondrel"), QByteArray("new program"));
        QCOMPARE(SetupMachine::readFile(d + "READ ME FIRST.TXT"), QByteArray("new read-me"));
        QCOMPARE(SetupMachine::readFile(machine.system + "/libtrackgrid.so.1"),
                 QByteArray("grid control"));
        QVERIFY(QFileInfo::exists(machine.desktop + "/Sondrel.desktop"));
        QVERIFY(leftovers(machine).isEmpty());
    }
    QCOMPARE(QDir(d).entryList(QDir::Files | QDir::Hidden),
             (QStringList{"READ ME FIRST.TXT", "Sondrel", "sondrel-export", "sondrel.png",
                          "VemoSetup"}));
    // The library left W on the first run; each run registers it.
    QCOMPARE(machine.started->size(), std::size_t(2));
}

// A step that fails halfway leaves every installed file as it was, the archive's file
// where it was, and no temporary file.
void TestInstallProcedure::failedMoveLeavesTheInstalledFiles_data()
{
    QTest::addColumn<int>("op");        // FsOp
    QTest::addColumn<QString>("where"); // "system" or "install": the destination's folder
    QTest::addColumn<bool>("otherFileSystem");
    QTest::addColumn<quint64>("bytesFirst");
    QTest::addColumn<int>("registrations");

    QTest::newRow("program copy breaks off")
        << int(FsOp::RenameOrCopy) << "install" << false << quint64(4) << 1;
    QTest::newRow("program renamed, the rename over the old one fails")
        << int(FsOp::ReplaceFile) << "install" << false << quint64(0) << 1;
    QTest::newRow("program copied, the rename over the old one fails")
        << int(FsOp::ReplaceFile) << "install" << true << quint64(0) << 1;
    QTest::newRow("library copy breaks off")
        << int(FsOp::RenameOrCopy) << "system" << false << quint64(3) << 0;
    QTest::newRow("library copied, the rename over the old one fails")
        << int(FsOp::ReplaceFile) << "system" << true << quint64(0) << 0;
}

void TestInstallProcedure::failedMoveLeavesTheInstalledFiles()
{
    QFETCH(int, op);
    QFETCH(QString, where);
    QFETCH(bool, otherFileSystem);
    QFETCH(quint64, bytesFirst);
    QFETCH(int, registrations);

    SetupMachine machine;
    machine.extract();
    const QString d = machine.installDir();
    SetupMachine::writeFile(machine.system + "/libtrackgrid.so.1", "old control");
    SetupMachine::writeFile(d + "Sondrel", "old program");
    SetupMachine::writeFile(d + "READ ME FIRST.TXT", "old read-me");
    auto plan = std::make_shared<FaultPlan>();
    plan->otherFileSystem = otherFileSystem;
    const QString folder = where == "system" ? machine.system : d;
    plan->faults.push_back({FsOp(op), EIO, 0, folder.toStdString(), bytesFirst});
    setup::SetupServices services = machine.services();
    services.fileSystem = FaultyFileSystem::factory(plan, services.fileSystem);

    const std::optional<PlatformError> error = installError(services, d);
    QVERIFY(error);
    QCOMPARE(error->number(), EIO);
    QCOMPARE(SetupMachine::readFile(machine.system + "/libtrackgrid.so.1"),
             QByteArray(where == "system" ? "old control" : "grid control"));
    QCOMPARE(SetupMachine::readFile(d + "Sondrel"), QByteArray("old program"));
    QCOMPARE(SetupMachine::readFile(d + "READ ME FIRST.TXT"), QByteArray("old read-me"));
    QCOMPARE(SetupMachine::readFile(machine.work + "/Sondrel"), QByteArray("new program"));
    QCOMPARE(SetupMachine::readFile(machine.work + "/READ ME FIRST.TXT"),
             QByteArray("new read-me"));
    if (where == "system")
        QCOMPARE(SetupMachine::readFile(machine.work + "/libtrackgrid.so.1"),
                 QByteArray("grid control"));
    QCOMPARE(leftovers(machine), QStringList());
    QCOMPARE(int(machine.started->size()), registrations);

    // With the fault gone, the same files install.
    plan->faults.clear();
    QCOMPARE(install(services, d), Outcome::Completed);
    QCOMPARE(SetupMachine::readFile(d + "Sondrel"), QByteArray("new program"));
    QCOMPARE(SetupMachine::readFile(machine.system + "/libtrackgrid.so.1"),
             QByteArray("grid control"));
    QCOMPARE(QDir(machine.work).entryList(QDir::Files), QStringList{"VemoSetup"});
}

// Extracted on another file system (here /dev/shm): the files are copied, flushed and
// renamed into place, and only then removed from W; the program stays executable.
void TestInstallProcedure::acrossFileSystems()
{
    QTemporaryDir shm(QStringLiteral("/dev/shm/sondrel-test-XXXXXX"));
    SetupMachine machine;
    const auto fs = machine.services().fileSystem();
    if (!shm.isValid() || fs->identity(shm.path().toStdString())->volume ==
                              fs->identity(machine.root.path().toStdString())->volume)
        QSKIP("no second file system at /dev/shm");
    machine.work = shm.path();
    machine.extract();
    QVERIFY(QFile::setPermissions(machine.work + "/Sondrel",
                                  QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                      QFile::ReadOther | QFile::ExeOther));
    const QString d = machine.installDir();
    SetupMachine::writeFile(d + "Sondrel", "old program");

    QCOMPARE(install(machine, d), Outcome::Completed);
    QCOMPARE(SetupMachine::readFile(d + "Sondrel"), QByteArray("new program"));
    QVERIFY(QFileInfo(d + "Sondrel").permission(QFile::ExeOther));
    QCOMPARE(SetupMachine::readFile(machine.system + "/libtrackgrid.so.1"),
             QByteArray("grid control"));
    QCOMPARE(QDir(machine.work).entryList(QDir::Files | QDir::Hidden), QStringList{"VemoSetup"});
    QVERIFY(leftovers(machine).isEmpty());
}

// ldconfig is waited for; a failure is reported with the command and its status, and the
// install ends there (no success).
void TestInstallProcedure::failedRegistration()
{
    SetupMachine machine;
    machine.extract();
    machine.registrationStatus = 1;
    const std::optional<PlatformError> error =
        installError(machine.services(), machine.installDir());
    QVERIFY(error);
    QCOMPARE(error->number(), 1);
    QCOMPARE(error->description(), std::string("\"/sbin/ldconfig\" ended with exit status 1"));
    QCOMPARE(SetupMachine::readFile(machine.system + "/libtrackgrid.so.1"),
             QByteArray("grid control"));
    QVERIFY(!QFileInfo::exists(machine.installDir()));
    QCOMPARE(*machine.shellsMade, 0);

    // Pressed again, the library is already in place: it is registered all the same, so
    // a second failure is reported too, and only a registration that works completes.
    QVERIFY(installError(machine.services(), machine.installDir()));
    QCOMPARE(machine.started->size(), std::size_t(2));
    machine.registrationStatus = 0;
    QCOMPARE(install(machine, machine.installDir()), Outcome::Completed);
    QCOMPARE(machine.started->size(), std::size_t(3));
}

// Run through sudo by the user who extracted the archive: root installs the files (and
// they become root's), the shortcuts are written as the user, and a link the user's
// Desktop holds does not lead root's writes into a folder of root's.
void TestInstallProcedure::underSudo_data()
{
    QTest::addColumn<bool>("planted");
    QTest::newRow("the user's own folders") << false;
    QTest::newRow("Desktop links to a folder of root's") << true;
}

void TestInstallProcedure::underSudo()
{
    QFETCH(bool, planted);
    SetupMachine machine;
    const QString home = machine.path("home");
    QDir(machine.programs).removeRecursively(); // a fresh account: made for the user
    machine.extract();
    std::optional<UserAccount> tester = test::otherUser(machine.root, home);
    // Without root and a second user only the seam runs: acting as oneself.
    if (!tester && planted)
        QSKIP("needs root and the user tester (useradd -m tester)");
    if (!tester)
        tester = test::ownAccount(home);
    for (const char *name : {"libtrackgrid.so.1", "Sondrel", "READ ME FIRST.TXT"})
        ::chown(QFile::encodeName(machine.work + "/" + name).constData(), tester->uid, tester->gid);
    const QString rootOnly = machine.path("root-only");
    QDir().mkpath(rootOnly);
    if (planted) {
        QDir(machine.desktop).removeRecursively();
        QVERIFY(QFile::link(rootOnly, machine.desktop));
    }
    setup::SetupServices services = machine.services();
    const std::string p = machine.programs.toStdString();
    const std::string k = machine.desktop.toStdString();
    const UserAccount user = *tester;
    services.shell = [p, k, user] {
        return std::unique_ptr<Shell>(std::make_unique<PosixShell>(p, k, user));
    };

    const std::optional<PlatformError> error = installError(services, machine.installDir());
    QCOMPARE(error ? error->number() : 0, planted ? EACCES : 0);
    QVERIFY(QDir(rootOnly).isEmpty());

    for (const QString &installed :
         {machine.system + "/libtrackgrid.so.1", machine.installDir() + "Sondrel",
          machine.installDir() + "READ ME FIRST.TXT"})
        QCOMPARE(QFileInfo(installed).ownerId(), uint(::geteuid()));
    QStringList usersFiles{home + "/.local/share/applications",
                           machine.programs + "/Sondrel.desktop"};
    if (!planted)
        usersFiles << machine.desktop + "/Sondrel.desktop";
    for (const QString &path : usersFiles)
        QCOMPARE(QFileInfo(path).ownerId(), uint(tester->uid));
}

// Run as root, the install goes only through folders and links that root alone can change,
// for the library as for D; any other refuses it before anything changes, naming the folder
// or link at fault. A link of root's is followed. (The window shows the refusal of a folder
// the user owns.)
void TestInstallProcedure::unsafeFolders_data()
{
    QTest::addColumn<QString>("layout"); // below the machine's root, as buildTree takes it
    QTest::addColumn<QString>("installDir");
    QTest::addColumn<QString>("refused"); // empty: installed, into `placed`
    QTest::addColumn<QString>("placed");

    QTest::newRow("D is a link the user planted") << "elsewhere=0755 opt/Sondrel->../elsewhere@user"
                                                  << "opt/Sondrel/"
                                                  << "opt/Sondrel"
                                                  << "";
    QTest::newRow("the library's folder open to its group") << ""
                                                            << "opt/Sondrel/"
                                                            << "system"
                                                            << "";
    QTest::newRow("D through root's link: installed where it leads")
        << "srv=0755 opt/Sondrel->../srv"
        << "opt/Sondrel/"
        << ""
        << "srv";
}

void TestInstallProcedure::unsafeFolders()
{
    QFETCH(QString, layout);
    QFETCH(QString, installDir);
    QFETCH(QString, refused);
    QFETCH(QString, placed);
    if (::geteuid() != 0)
        QSKIP("needs root: only an install run as root checks its folders");
    SetupMachine machine;
    machine.extract();
    const QString root = QFileInfo(machine.root.path()).canonicalFilePath();
    test::buildTree(root, layout);
    if (refused == "system")
        QVERIFY(QFile::setPermissions(machine.system, QFile::ReadOwner | QFile::WriteOwner |
                                                          QFile::ExeOwner | QFile::ReadGroup |
                                                          QFile::WriteGroup | QFile::ExeGroup));
    const QStringList before = machine.snapshot();

    QString named;
    const Outcome outcome = InstallProcedure(machine.services())
                                .run(InstallRequest{root + '/' + installDir, true, true}, &named);
    if (!refused.isEmpty()) {
        QCOMPARE(outcome, Outcome::UnsafeFolder);
        QCOMPARE(named, root + '/' + refused);
        QCOMPARE(machine.snapshot(), before);
        QVERIFY(machine.started->empty());
        QCOMPARE(*machine.shellsMade, 0);
        return;
    }
    QCOMPARE(outcome, Outcome::Completed);
    QVERIFY(named.isEmpty());
    QCOMPARE(SetupMachine::readFile(machine.path(placed + "/Sondrel")), QByteArray("new program"));
    // The shortcut keeps the directory as the user chose it.
    QVERIFY(SetupMachine::readFile(machine.desktop + "/Sondrel.desktop")
                .contains(QFile::encodeName(root + '/' + installDir + "Sondrel")));
}

// An extracted file that its owner holds open for writing during the install: root places a
// new file of its own, so that writing through that descriptor afterwards changes nothing
// installed. A library that an earlier install renamed into place from the user's folder
// is replaced too, even with the same bytes.
void TestInstallProcedure::heldOpenFile_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("installedBefore"); // the held file is the installed library

    QTest::newRow("the program") << "Sondrel" << false;
    QTest::newRow("the library") << "libtrackgrid.so.1" << false;
    QTest::newRow("the library installed earlier as the user's own file")
        << "libtrackgrid.so.1" << true;
}

void TestInstallProcedure::heldOpenFile()
{
    QFETCH(QString, name);
    QFETCH(bool, installedBefore);
    if (::geteuid() != 0)
        QSKIP("needs root: only root can place a file that another user extracted");
    SetupMachine machine;
    machine.extract();
    for (const QString &extracted : QDir(machine.work).entryList(QDir::Files)) {
        const QByteArray path = QFile::encodeName(machine.work + '/' + extracted);
        QCOMPARE(::chown(path.constData(), test::OtherUid, test::OtherUid), 0);
        QCOMPARE(::chmod(path.constData(), 0666), 0);
    }
    const QString installed =
        (name == "Sondrel" ? machine.installDir() : machine.system + '/') + name;
    const QString held = installedBefore ? installed : machine.work + '/' + name;
    if (installedBefore) {
        QVERIFY(QFile::copy(machine.work + '/' + name, held));
        QCOMPARE(::chown(QFile::encodeName(held).constData(), test::OtherUid, test::OtherUid), 0);
    }
    const int fd = ::open(QFile::encodeName(held).constData(), O_WRONLY);
    QVERIFY(fd >= 0);
    const QByteArray bytes = SetupMachine::readFile(held);

    QCOMPARE(install(machine, machine.installDir()), Outcome::Completed);
    QCOMPARE(::pwrite(fd, "changed", 7, 0), ssize_t(7));
    ::close(fd);
    QCOMPARE(SetupMachine::readFile(installed), bytes);
    for (const QString &file : {installed, machine.installDir() + "sondrel.png"}) {
        const QFileInfo info(file);
        QCOMPARE(info.ownerId(), 0u);
        QCOMPARE(info.groupId(), 0u);
        QVERIFY(!(info.permissions() & (QFile::WriteGroup | QFile::WriteOther)));
    }
}

SONDREL_TEST_MAIN(TestInstallProcedure)
#include "test_installprocedure.moc"
