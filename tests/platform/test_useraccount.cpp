// Acting for the user who ran sudo: who that is, giving up root for that user, and the
// programs started for the user.
#include "otheruser.h"
#include "platformerror.h"
#include "process_posix.h"
#include "testfiles.h"
#include "testmain.h"
#include "useraccount_posix.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace sondrel;
using sondrel::test::otherUser;
using sondrel::test::ownAccount;
using sondrel::test::readAll;

namespace {

QStringList sorted(const std::vector<std::string> &entries)
{
    QStringList list;
    for (const std::string &entry : entries)
        list << QString::fromStdString(entry);
    list.sort();
    return list;
}

std::vector<std::string> entries(const QStringList &list)
{
    std::vector<std::string> out;
    for (const QString &entry : list)
        out.push_back(entry.toStdString());
    return out;
}

} // namespace

class TestUserAccount : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void sudoInvokerFromSudosEntries_data();
    void sudoInvokerFromSudosEntries();
    void sessionEnvironmentIsTheUsers_data();
    void sessionEnvironmentIsTheUsers();

    void runAsHandsBackResultsAndErrors();
    void runAsGivesUpRoot();
    void programsStartAsTheUser();
};

// Rows use "nobody" (uid 65534 on Debian), which every machine has.
void TestUserAccount::sudoInvokerFromSudosEntries_data()
{
    QTest::addColumn<uint>("effectiveUid");
    QTest::addColumn<QString>("sudoUid"); // "-" for unset
    QTest::addColumn<QString>("sudoGid");
    QTest::addColumn<QString>("name"); // empty: nobody to act for
    QTest::addColumn<uint>("gid");

    QTest::newRow("not root") << 1000u << "65534"
                              << "65534"
                              << "" << 0u;
    QTest::newRow("root, not through sudo") << 0u << "-"
                                            << "-"
                                            << "" << 0u;
    QTest::newRow("sudo from root") << 0u << "0"
                                    << "0"
                                    << "" << 0u;
    QTest::newRow("not a number") << 0u << "65534x"
                                  << "65534"
                                  << "" << 0u;
    QTest::newRow("empty") << 0u << ""
                           << ""
                           << "" << 0u;
    QTest::newRow("no passwd entry") << 0u << "3999999"
                                     << "100"
                                     << "" << 0u;
    QTest::newRow("through sudo") << 0u << "65534"
                                  << "100"
                                  << "nobody" << 100u;
    QTest::newRow("group unset: the passwd entry's") << 0u << "65534"
                                                     << "-"
                                                     << "nobody" << 65534u;
}

void TestUserAccount::sudoInvokerFromSudosEntries()
{
    QFETCH(uint, effectiveUid);
    QFETCH(QString, sudoUid);
    QFETCH(QString, sudoGid);
    QFETCH(QString, name);
    QFETCH(uint, gid);
    if (!::getpwuid(65534))
        QSKIP("this machine has no user 65534");
    const QByteArray uidText = sudoUid.toUtf8();
    const QByteArray gidText = sudoGid.toUtf8();
    const std::optional<UserAccount> account =
        sudoInvoker(effectiveUid, sudoUid == "-" ? nullptr : uidText.constData(),
                    sudoGid == "-" ? nullptr : gidText.constData());
    QCOMPARE(account.has_value(), !name.isEmpty());
    if (account) {
        QCOMPARE(QString::fromStdString(account->name), name);
        QCOMPARE(uint(account->uid), 65534u);
        QCOMPARE(uint(account->gid), gid);
        QCOMPARE(account->home, std::string(::getpwuid(65534)->pw_dir));
    }
}

void TestUserAccount::sessionEnvironmentIsTheUsers_data()
{
    QTest::addColumn<QStringList>("inherited");
    QTest::addColumn<bool>("busExists");
    QTest::addColumn<QStringList>("expected");

    const QStringList user{"HOME=/home/ann", "USER=ann", "LOGNAME=ann",
                           "XDG_RUNTIME_DIR=/run/user/1001"};
    QTest::newRow("sudo's own environment")
        << QStringList{"HOME=/root",
                       "USER=root",
                       "LOGNAME=root",
                       "DISPLAY=:0",
                       "XAUTHORITY=/home/ann/.Xauthority",
                       "PATH=/usr/bin",
                       "SUDO_UID=1001",
                       "SUDO_GID=1001",
                       "SUDO_USER=ann",
                       "SUDO_COMMAND=/opt/x/VemoSetup"}
        << true
        << user + QStringList{"DISPLAY=:0", "XAUTHORITY=/home/ann/.Xauthority", "PATH=/usr/bin",
                              "DBUS_SESSION_BUS_ADDRESS=unix:path=/run/user/1001/bus"};
    QTest::newRow("no bus: root's address goes")
        << QStringList{"DBUS_SESSION_BUS_ADDRESS=unix:path=/run/user/0/bus",
                       "XDG_RUNTIME_DIR=/run/user/0", "WAYLAND_DISPLAY=wayland-0"}
        << false << user + QStringList{"WAYLAND_DISPLAY=wayland-0"};
    QTest::newRow("names that only begin alike stay")
        << QStringList{"HOMEPAGE=x", "USERNAME=y", "HOME"} << false
        << user + QStringList{"HOMEPAGE=x", "USERNAME=y", "HOME"};
}

void TestUserAccount::sessionEnvironmentIsTheUsers()
{
    QFETCH(QStringList, inherited);
    QFETCH(bool, busExists);
    QFETCH(QStringList, expected);
    const UserAccount ann{1001, 1001, "ann", "/home/ann"};
    expected.sort();
    QCOMPARE(sorted(sessionEnvironment(ann, entries(inherited), busExists)), expected);
}

// Through the seam alone (the test's own account): what the child returns or raises
// comes back.
void TestUserAccount::runAsHandsBackResultsAndErrors()
{
    const UserAccount self = ownAccount(QDir::tempPath());
    QCOMPARE(runAs(self, [] { return std::string("done\0with a zero", 16); }),
             std::string("done\0with a zero", 16));
    try {
        runAs(self, []() -> std::string { throw PlatformError(ENOSPC, "No space left: /x"); });
        QFAIL("the child's failure must be raised");
    } catch (const PlatformError &error) {
        QCOMPARE(error.number(), ENOSPC);
        QCOMPARE(error.description(), std::string("No space left: /x"));
    }
    QVERIFY_THROWS_EXCEPTION(PlatformError, runAs(self, []() -> std::string {
                                 throw std::runtime_error("anything else");
                             }));
}

void TestUserAccount::runAsGivesUpRoot()
{
    QTemporaryDir root;
    const std::optional<UserAccount> tester = otherUser(root, root.filePath("home"));
    if (!tester)
        QSKIP("needs root and the user tester (useradd -m tester)");
    const QString rootOnly = root.filePath("root-only");
    QDir().mkpath(rootOnly);
    ::chmod(QFile::encodeName(rootOnly).constData(), 0755);

    const std::string seen = runAs(*tester, [&] {
        gid_t groups[64];
        const int count = ::getgroups(64, groups);
        bool rootGroup = false;
        for (int i = 0; i < count; ++i)
            rootGroup = rootGroup || groups[i] == 0;
        const bool regained = ::setuid(0) == 0;
        const bool wroteRootsFolder =
            ::open(QFile::encodeName(rootOnly + "/x").constData(), O_WRONLY | O_CREAT, 0644) >= 0;
        return std::to_string(::getuid()) + " " + std::to_string(::geteuid()) + " " +
               std::to_string(::getgid()) + (rootGroup ? " root group" : "") +
               (regained ? " root again" : "") + (wroteRootsFolder ? " wrote" : "");
    });
    QCOMPARE(QString::fromStdString(seen),
             QStringLiteral("%1 %1 %2").arg(tester->uid).arg(tester->gid));
    QVERIFY(!QFileInfo::exists(rootOnly + "/x"));
    QCOMPARE(::getuid(), uid_t(0)); // this process stays root
}

// Finish under sudo: the program runs as the user with the user's session, and what it
// writes is the user's.
void TestUserAccount::programsStartAsTheUser()
{
    QTemporaryDir root;
    const QString home = root.filePath("home");
    const std::optional<UserAccount> tester = otherUser(root, home);
    if (!tester)
        QSKIP("needs root and the user tester (useradd -m tester)");
    const auto starter = createProcessStarterAs(
        *tester,
        sessionEnvironment(*tester, {"DISPLAY=:7", "PATH=/usr/bin:/bin", "SUDO_UID=5"}, false));
    const QString script = "id -u > \"$1\"; id -G >> \"$1\"; env | sort >> \"$1\"";

    const QString waited = home + "/waited.txt";
    QCOMPARE(starter->startAndWait("/bin/sh",
                                   {"-c", script.toStdString(), "sh", waited.toStdString()},
                                   WindowStyle::Normal),
             0);
    const QString detached = home + "/detached.txt";
    starter->startDetached("/bin/sh", {"-c", script.toStdString(), "sh", detached.toStdString()},
                           WindowStyle::Normal);
    QTRY_VERIFY_WITH_TIMEOUT(readAll(detached).contains("USER="), 5000);

    for (const QString &out : {waited, detached}) {
        const QStringList lines = QString::fromUtf8(readAll(out)).split('\n', Qt::SkipEmptyParts);
        QVERIFY2(lines.size() > 2, qPrintable(out));
        QCOMPARE(lines[0], QString::number(tester->uid));
        QVERIFY2(!lines[1].split(' ').contains("0"), qPrintable(lines[1]));
        for (const QString &entry :
             {"HOME=" + home, QString("USER=tester"), QString("LOGNAME=tester"),
              QString("DISPLAY=:7"), QString("XDG_RUNTIME_DIR=/run/user/%1").arg(tester->uid)})
            QVERIFY2(lines.contains(entry), qPrintable(entry));
        QVERIFY(!lines.join('\n').contains("SUDO_UID"));
        QCOMPARE(QFileInfo(out).ownerId(), uint(tester->uid));
    }
}

SONDREL_TEST_MAIN(TestUserAccount)
#include "test_useraccount.moc"
