// The distribution archive as a user receives it: extracted into one folder and installed
// from there into temporary folders.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTest>

#include <cstring>

#include "installprocedure.h"
#include "setupmachine.h"
#include "testmain.h"

using namespace sondrel;
using sondrel::test::SetupMachine;

namespace {

// What the dynamic section of an ELF file says about where its libraries are found.
struct DynamicSection
{
    bool valid = false;
    QStringList needed;
    QStringList searchPaths; // DT_RPATH and DT_RUNPATH
    QString soname;          // DT_SONAME
};

template <typename T> T at(const QByteArray &bytes, qint64 offset)
{
    T value{};
    if (offset >= 0 && offset + qint64(sizeof value) <= bytes.size())
        std::memcpy(&value, bytes.constData() + offset, sizeof value);
    return value;
}

DynamicSection readDynamicSection(const QString &path)
{
    DynamicSection result;
    const QByteArray elf = SetupMachine::readFile(path);
    if (!elf.startsWith("\x7f"
                        "ELF") ||
        elf.size() < 64 || elf.at(4) != 2) // 64-bit only
        return result;
    const auto phoff = at<quint64>(elf, 0x20);
    const auto phentsize = at<quint16>(elf, 0x36);
    const auto phnum = at<quint16>(elf, 0x38);

    struct Load
    {
        quint64 vaddr, offset, size;
    };
    QList<Load> loads;
    quint64 dynamicOffset = 0, dynamicSize = 0;
    for (quint16 i = 0; i < phnum; ++i) {
        const qint64 ph = qint64(phoff) + qint64(i) * phentsize;
        const auto type = at<quint32>(elf, ph);
        if (type == 1) // PT_LOAD
            loads.append(
                {at<quint64>(elf, ph + 16), at<quint64>(elf, ph + 8), at<quint64>(elf, ph + 32)});
        if (type == 2) { // PT_DYNAMIC
            dynamicOffset = at<quint64>(elf, ph + 8);
            dynamicSize = at<quint64>(elf, ph + 32);
        }
    }
    const auto fileOffset = [&](quint64 vaddr) -> qint64 {
        for (const Load &load : loads)
            if (vaddr >= load.vaddr && vaddr < load.vaddr + load.size)
                return qint64(vaddr - load.vaddr + load.offset);
        return -1;
    };

    quint64 strtab = 0;
    QList<QPair<qint64, quint64>> entries;
    for (quint64 e = 0; e + 16 <= dynamicSize; e += 16) {
        const auto tag = at<qint64>(elf, qint64(dynamicOffset + e));
        const auto value = at<quint64>(elf, qint64(dynamicOffset + e + 8));
        if (tag == 0)
            break;
        if (tag == 5) // DT_STRTAB
            strtab = value;
        entries.append({tag, value});
    }
    const qint64 strings = fileOffset(strtab);
    if (strings < 0)
        return result;
    for (const auto &[tag, value] : entries) {
        // DT_NEEDED, DT_SONAME, DT_RPATH and DT_RUNPATH name strings of the string table.
        if (tag != 1 && tag != 14 && tag != 15 && tag != 29)
            continue;
        if (strings + qint64(value) >= elf.size())
            return result;
        const char *text = elf.constData() + strings + value;
        const QString name =
            QString::fromUtf8(text, qstrnlen(text, elf.size() - (strings + value)));
        if (tag == 14)
            result.soname = name;
        else
            (tag == 1 ? result.needed : result.searchPaths) << name;
    }
    result.valid = true;
    return result;
}

// Starts a program headless and tells whether it is still running after a while, that is,
// whether the loader found every library it needs.
QString keepsRunning(const QString &program, const QString &libraryPath, const QString &workDir)
{
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    if (!libraryPath.isEmpty())
        env.insert("LD_LIBRARY_PATH", libraryPath);
    env.insert("HOME", workDir);
    process.setProcessEnvironment(env);
    process.setWorkingDirectory(workDir);
    process.start(program, {});
    if (!process.waitForStarted(5000))
        return "not started: " + process.errorString();
    if (process.waitForFinished(1500))
        return "ended: " + QString::fromUtf8(process.readAllStandardError());
    process.kill();
    process.waitForFinished(5000);
    return "running";
}

} // namespace

class TestDistArchive : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void topLevelFiles();
    void librariesAreFoundByTheLoader();
    void readMe();
    void installFromTheArchive();

private:
    void extractInto(const QString &folder);
};

void TestDistArchive::initTestCase()
{
    QVERIFY2(QFileInfo::exists(SONDREL_DIST_ARCHIVE),
             "Sondrel.zip is missing: build the target dist first");
}

void TestDistArchive::extractInto(const QString &folder)
{
    QProcess tar;
    tar.setWorkingDirectory(folder);
    tar.start(SONDREL_CMAKE_COMMAND, {"-E", "tar", "xf", SONDREL_DIST_ARCHIVE});
    QVERIFY(tar.waitForFinished(60000));
    QVERIFY2(tar.exitCode() == 0, tar.readAllStandardError().constData());
}

void TestDistArchive::topLevelFiles()
{
    QTemporaryDir work;
    extractInto(work.path());
    const QDir w(work.path());
    QCOMPARE(w.entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Name),
             (QStringList{"READ ME FIRST.TXT", "Sondrel", "VemoSetup", "libtrackgrid.so.1",
                          "sondrel-export"}));
    // Regular files only: no links, which not every unzip tool makes.
    for (const QFileInfo &entry :
         w.entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden))
        QVERIFY2(entry.isFile() && !entry.isSymLink(), qPrintable(entry.fileName()));
    QVERIFY(QFileInfo(w.filePath("Sondrel")).isExecutable());
    QVERIFY(QFileInfo(w.filePath("VemoSetup")).isExecutable());
    QVERIFY(QFileInfo(w.filePath("sondrel-export")).isExecutable());
}

// The program carries no search path of the build tree; the installer links nothing of
// the program's own libraries.
void TestDistArchive::librariesAreFoundByTheLoader()
{
    QTemporaryDir work;
    extractInto(work.path());
    const QDir w(work.path());

    const DynamicSection sondrel = readDynamicSection(w.filePath("Sondrel"));
    QVERIFY(sondrel.valid);
    QVERIFY2(sondrel.searchPaths.isEmpty(), qPrintable(sondrel.searchPaths.join(':')));
    // The program asks the loader for the library by its versioned name.
    QVERIFY2(sondrel.needed.contains("libtrackgrid.so.1"), qPrintable(sondrel.needed.join(' ')));
    QVERIFY(!sondrel.needed.contains("libtrackgrid.so"));

    const DynamicSection setup = readDynamicSection(w.filePath("VemoSetup"));
    QVERIFY(setup.valid);
    QVERIFY(setup.searchPaths.isEmpty());
    QVERIFY2(setup.needed.filter("libtrackgrid").isEmpty(), qPrintable(setup.needed.join(' ')));

    const DynamicSection grid = readDynamicSection(w.filePath("libtrackgrid.so.1"));
    QVERIFY(grid.valid);
    QVERIFY(grid.searchPaths.isEmpty());
    QCOMPARE(grid.soname, QString("libtrackgrid.so.1"));

    // The installer starts from the folder it was extracted to, without anything else.
    QCOMPARE(keepsRunning(w.filePath("VemoSetup"), QString(), work.path()), QString("running"));
}

void TestDistArchive::readMe()
{
    QTemporaryDir work;
    extractInto(work.path());
    const QString text =
        QString::fromUtf8(SetupMachine::readFile(work.filePath("READ ME FIRST.TXT")));
    for (const char *topic : {"What Sondrel does", "How to install", "What Sondrel needs to run",
                              "How to use Sondrel", "VemoSetup", "/opt/Sondrel/", "Qt 6",
                              "libtag1v5", "administrator", "~/.config/Sondrel/Sondrel.conf"})
        QVERIFY2(text.contains(topic), topic);
}

void TestDistArchive::installFromTheArchive()
{
    SetupMachine machine;
    extractInto(machine.work);
    const QString d = machine.installDir();
    const QByteArray program = SetupMachine::readFile(machine.work + "/Sondrel");

    const auto outcome =
        setup::InstallProcedure(machine.services()).run(setup::InstallRequest{d, true, true});
    QCOMPARE(outcome, setup::InstallProcedure::Outcome::Completed);

    QCOMPARE(QDir(machine.work).entryList(QDir::Files), QStringList{"VemoSetup"});
    QCOMPARE(SetupMachine::readFile(d + "Sondrel"), program);
    QVERIFY(QFileInfo(d + "Sondrel").isExecutable());
    QVERIFY(QFileInfo::exists(d + "READ ME FIRST.TXT"));
    QVERIFY(QFileInfo::exists(machine.system + "/libtrackgrid.so.1"));
    QVERIFY(QFileInfo::exists(machine.programs + "/Sondrel.desktop"));
    QVERIFY(QFileInfo::exists(machine.desktop + "/Sondrel.desktop"));
    QCOMPARE(machine.started->size(), std::size_t(1));
    QCOMPARE(machine.started->front().program, std::string("/sbin/ldconfig"));
    QVERIFY(machine.started->front().waited);

    // The command-line export runs from where it was installed, without a display.
    QProcess command;
    command.start(d + "sondrel-export", {"--version"});
    QVERIFY(command.waitForFinished(30000));
    QCOMPARE(command.exitCode(), 0);
    QVERIFY(command.readAllStandardOutput().startsWith("sondrel-export "));

    // Where the loader finds the system folder's library, the installed program starts.
    QCOMPARE(keepsRunning(d + "Sondrel", machine.system, d), QString("running"));
}

SONDREL_TEST_MAIN(TestDistArchive)
#include "test_distarchive.moc"
