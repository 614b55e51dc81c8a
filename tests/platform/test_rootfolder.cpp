// The folders an install run as root places files in: the ownership of every folder and
// link on the way, and files placed as new files of root's. Needs root, which alone can
// hand files to another user.
#include "filesystem_posix.h"
#include "otheruser.h"
#include "platformerror.h"
#include "rootfolder_posix.h"
#include "testfiles.h"
#include "testmain.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace sondrel;
using sondrel::test::buildTree;
using sondrel::test::OtherUid;
using sondrel::test::readAll;

namespace {

QByteArray path8(const QString &path)
{
    return QFile::encodeName(path);
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

struct stat statOf(const QString &path)
{
    struct stat st
    {
    };
    ::lstat(path8(path).constData(), &st);
    return st;
}

QStringList entries(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System |
                                  QDir::NoDotAndDotDot);
}

// Runs `action` and gives the number of the PlatformError it raised (0 for none).
template <typename Action> int errorOf(Action &&action)
{
    try {
        action();
    } catch (const PlatformError &error) {
        return error.number();
    }
    return 0;
}

} // namespace

class TestRootFolder : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        if (::geteuid() != 0)
            QSKIP("needs root: only root installs through these folders and can give files away");
    }

    // The folder, followed through root's links, is accepted only when root alone can change
    // every folder and link on the way; otherwise the first one that others could change is
    // named. A missing folder is made by root, mode 0755 whatever the umask.
    void check_data()
    {
        QTest::addColumn<QString>("layout");
        QTest::addColumn<QString>("folder");   // the installation directory, below the root
        QTest::addColumn<QString>("accepted"); // the folder as resolved; empty when refused
        QTest::addColumn<QString>("refused");  // the folder or link named
        QTest::addColumn<int>("createError");

        QTest::newRow("root's folder") << "opt=0755 opt/Sondrel=0755"
                                       << "opt/Sondrel/"
                                       << "opt/Sondrel"
                                       << "" << 0;
        QTest::newRow("in a folder the user owns") << "home=0755 home/u=0755@user"
                                                   << "home/u/Sondrel/"
                                                   << ""
                                                   << "home/u" << 0;
        QTest::newRow("a group-writable parent") << "opt=0775 opt/Sondrel=0755"
                                                 << "opt/Sondrel/"
                                                 << ""
                                                 << "opt" << 0;
        QTest::newRow("a link the user planted") << "opt=0755 real=0755 opt/Sondrel->../real@user"
                                                 << "opt/Sondrel/"
                                                 << ""
                                                 << "opt/Sondrel" << 0;
        QTest::newRow("root's link, as /opt -> /srv/opt") << "srv=0755 srv/opt=0755 opt->srv/opt"
                                                          << "opt/Sondrel/"
                                                          << "srv/opt/Sondrel"
                                                          << "" << 0;
        QTest::newRow("root's link, absolute, with ..")
            << "srv=0755 srv/opt=0755 opt->$/srv/opt/../opt"
            << "opt/"
            << "srv/opt"
            << "" << 0;
        QTest::newRow("root's link to a folder the user owns") << "mine=0755@user opt->mine"
                                                               << "opt/Sondrel/"
                                                               << ""
                                                               << "mine" << 0;
        QTest::newRow("sticky and open to all (/tmp), root's folder below")
            << "tmp=1777 tmp/Sondrel=0755"
            << "tmp/Sondrel/"
            << "tmp/Sondrel"
            << "" << 0;
        QTest::newRow("sticky and open to all, missing below it: made") << "tmp=1777"
                                                                        << "tmp/Sondrel/"
                                                                        << "tmp/Sondrel"
                                                                        << "" << 0;
        QTest::newRow("sticky and open to all, the user's folder below")
            << "tmp=1777 tmp/u=0700@user"
            << "tmp/u/Sondrel/"
            << ""
            << "tmp/u" << 0;
        QTest::newRow("sticky and open to all, receiving the files itself") << "tmp=1777"
                                                                            << "tmp/"
                                                                            << ""
                                                                            << "tmp" << 0;
        QTest::newRow("two levels missing") << "opt=0755"
                                            << "opt/a/Sondrel/"
                                            << "opt/a/Sondrel"
                                            << "" << ENOENT;
        QTest::newRow("a file in the way") << "opt=0755 opt/plain=file"
                                           << "opt/plain/Sondrel/"
                                           << "opt/plain/Sondrel"
                                           << "" << ENOTDIR;
    }

    void check()
    {
        QFETCH(QString, layout);
        QFETCH(QString, folder);
        QFETCH(QString, accepted);
        QFETCH(QString, refused);
        QFETCH(int, createError);
        QTemporaryDir dir;
        const QString root = QFileInfo(dir.path()).canonicalFilePath();
        buildTree(root, layout);

        RootFolderCheck check = PosixFileSystem().rootFolder((root + '/' + folder).toStdString());
        QCOMPARE(QString::fromStdString(check.unsafe),
                 refused.isEmpty() ? QString() : root + '/' + refused);
        QCOMPARE(bool(check.folder), refused.isEmpty());
        if (!check.folder)
            return;
        QCOMPARE(QString::fromStdString(check.folder->path()), root + '/' + accepted);
        const mode_t umask = ::umask(077);
        const int error = errorOf([&] { check.folder->create(); });
        ::umask(umask);
        QCOMPARE(error, createError);
        if (createError == 0) {
            const struct stat st = statOf(root + '/' + accepted);
            QVERIFY(S_ISDIR(st.st_mode));
            QCOMPARE(st.st_uid, uid_t(0));
            QCOMPARE(st.st_mode & 07777, mode_t(0755));
        }
    }

    // moveIn makes every file anew: root's, not writable by others, never the source's inode;
    // the source goes only once the new file is in place. A failure leaves the installed file
    // and the source as they were, and no temporary file.
    void moveIn_data()
    {
        QTest::addColumn<QString>("source"); // "file", "link" or "fifo"
        QTest::addColumn<bool>("folderInTheWay");
        QTest::addColumn<bool>("fileSizeLimit"); // writes beyond 4 bytes fail (EFBIG)
        QTest::addColumn<int>("error");

        QTest::newRow("the user's file, open to all, set-user-ID") << "file" << false << false << 0;
        QTest::newRow("the name is taken by a folder") << "file" << true << false << EISDIR;
        QTest::newRow("the copy breaks off") << "file" << false << true << EFBIG;
        QTest::newRow("the source is a link to root's file") << "link" << false << false << ELOOP;
        QTest::newRow("the source is a FIFO: not waited for") << "fifo" << false << false << EINVAL;
    }

    void moveIn()
    {
        QFETCH(QString, source);
        QFETCH(bool, folderInTheWay);
        QFETCH(bool, fileSizeLimit);
        QFETCH(int, error);
        QTemporaryDir dir;
        buildTree(dir.path(), "work=0755@user opt=0755 secret=0700");
        const QString extracted = dir.filePath("work/Sondrel");
        const QString installed = dir.filePath("opt/Sondrel");
        if (source == "fifo") {
            QCOMPARE(::mkfifo(path8(extracted).constData(), 0666), 0);
        } else {
            writeFile(dir.filePath(source == "link" ? "secret/key" : "work/Sondrel"),
                      "new program");
            if (source == "link")
                QVERIFY(QFile::link(dir.filePath("secret/key"), extracted));
        }
        ::lchown(path8(extracted).constData(), OtherUid, OtherUid);
        if (source == "file")
            QCOMPARE(::chmod(path8(extracted).constData(), 04777), 0);
        if (folderInTheWay)
            QVERIFY(QDir().mkpath(installed + "/inside"));
        else
            writeFile(installed, "old program");
        const struct stat before = statOf(extracted);

        RootFolderCheck check = PosixFileSystem().rootFolder(dir.filePath("opt").toStdString());
        QVERIFY(check.folder);
        rlimit limit{};
        ::getrlimit(RLIMIT_FSIZE, &limit);
        const rlimit small{4, limit.rlim_max};
        const auto xfsz = std::signal(SIGXFSZ, SIG_IGN);
        if (fileSizeLimit)
            ::setrlimit(RLIMIT_FSIZE, &small);
        const int got = errorOf([&] { check.folder->moveIn(extracted.toStdString(), "Sondrel"); });
        ::setrlimit(RLIMIT_FSIZE, &limit);
        std::signal(SIGXFSZ, xfsz);

        QCOMPARE(got, error);
        QCOMPARE(entries(dir.filePath("opt")), QStringList{"Sondrel"}); // no temporary file
        if (error != 0) {
            QCOMPARE(statOf(extracted).st_ino, before.st_ino);
            if (!folderInTheWay)
                QCOMPARE(readAll(installed), QByteArray("old program"));
            if (source == "link")
                QCOMPARE(readAll(dir.filePath("secret/key")), QByteArray("new program"));
            return;
        }
        QVERIFY(!QFileInfo::exists(extracted));
        const struct stat st = statOf(installed);
        QCOMPARE(readAll(installed), QByteArray("new program"));
        QVERIFY(st.st_ino != before.st_ino);
        QCOMPARE(st.st_uid, uid_t(0));
        QCOMPARE(st.st_gid, gid_t(0));
        QCOMPARE(st.st_mode & 07777, mode_t(0755));
    }
};

SONDREL_TEST_MAIN_CORE(TestRootFolder)
#include "test_rootfolder.moc"
