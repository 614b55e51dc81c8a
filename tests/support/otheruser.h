#pragma once

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QString>
#include <QTemporaryDir>
#include <QTest>

#include <optional>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include "useraccount_posix.h"

namespace sondrel::test {

// A uid that is not root's, for files and links that belong to someone else; only root
// can give them to it, and it needs no account.
inline constexpr uid_t OtherUid = 4242;

// Builds folders, files and links below `root` from entries such as "opt=0755" (a folder
// of root's), "home/u=0755@user" (one of OtherUid's), "opt/plain=file", "opt->srv/opt"
// (root's link) and "opt/Sondrel->../x@user"; "$" in a target stands for `root`. Needs root
// for the entries of OtherUid.
inline void buildTree(const QString &root, const QString &entries)
{
    for (QString entry : entries.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        const bool others = entry.endsWith(QLatin1String("@user"));
        entry.chop(others ? 5 : 0);
        const qsizetype link = entry.indexOf(QLatin1String("->"));
        const qsizetype equals = entry.indexOf(QLatin1Char('='));
        const QByteArray path =
            QFile::encodeName(root + QLatin1Char('/') + entry.left(link >= 0 ? link : equals));
        if (link >= 0) {
            const QString target = entry.mid(link + 2).replace(QLatin1Char('$'), root);
            QVERIFY(::symlink(QFile::encodeName(target).constData(), path.constData()) == 0);
        } else if (entry.mid(equals + 1) == QLatin1String("file")) {
            QFile file(QFile::decodeName(path));
            QVERIFY(file.open(QIODevice::WriteOnly));
        } else {
            QVERIFY(::mkdir(path.constData(), 0700) == 0);
            QVERIFY(::chmod(path.constData(), entry.mid(equals + 1).toUInt(nullptr, 8)) == 0);
        }
        if (others)
            QVERIFY(::lchown(path.constData(), OtherUid, OtherUid) == 0);
    }
}

// The user that tests of "root acting for the user who ran sudo" act for: the machine's
// user "tester" (useradd -m tester), with a home folder inside the test's temporary folder
// instead of the real one. Nothing when the test does not run as root or the user is
// missing; such a test then skips.
inline std::optional<UserAccount> otherUser(const QTemporaryDir &root, const QString &home)
{
    const passwd *entry = ::getpwnam("tester");
    if (::geteuid() != 0 || !entry)
        return std::nullopt;
    UserAccount account{entry->pw_uid, entry->pw_gid, entry->pw_name, home.toStdString()};
    // The user can reach the home folder, and owns it with everything already in it.
    ::chmod(QFile::encodeName(root.path()).constData(), 0755);
    QDir().mkpath(home);
    ::lchown(QFile::encodeName(home).constData(), account.uid, account.gid);
    QDirIterator it(home, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        ::lchown(QFile::encodeName(it.next()).constData(), account.uid, account.gid);
    return account;
}

// The account the test runs as, with the given home: acting "as" it drops nothing, so
// that the code around the drop runs where no other user can be had.
inline UserAccount ownAccount(const QString &home)
{
    const passwd *entry = ::getpwuid(::getuid());
    return UserAccount{::getuid(), ::getgid(), entry ? entry->pw_name : "", home.toStdString()};
}

} // namespace sondrel::test
