#pragma once

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include <optional>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include "useraccount_posix.h"

namespace sondrel::test {

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
