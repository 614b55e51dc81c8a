#pragma once

#include "filesystem.h"
#include "services.h"

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

namespace sondrel::test {

// A made-up machine for the file-system service: a mount table and a sysfs tree in a
// temporary folder. Mount points may be folders of the test's own. Its user has no home
// or music folder unless the test gives them, so nothing looks at the real home.
class FakeMachine
{
public:
    FakeMachine();
    // A machine whose mount table has these lines, each "source|mount point|type".
    explicit FakeMachine(const QStringList &mountTable);

    // One line of the mount table, such as ("/dev/sdb1", "/media/ipod", "vfat").
    void mount(const QString &source, const QString &mountPoint,
               const QString &type = QStringLiteral("ext4"));
    // Marks the block device `disk` as removable (or not); `partitions` are placed inside it.
    void blockDevice(const QString &disk, bool removable, const QStringList &partitions = {});

    // The user's home and music folders that the machine's services report.
    void setUserFolders(const QString &home, const QString &music);

    QString mountTablePath() const;
    QString sysfsRoot() const;
    QString root() const { return m_dir.path(); }

    // A service of this machine (its files are the real ones of the test's folders).
    std::unique_ptr<FileSystem> fileSystem() const;
    // A window's services on this machine (the machine outlives the window).
    Services services() const;

private:
    QTemporaryDir m_dir;
    QString m_home;
    QString m_music;
};

// The drives a service lists, as "path=type" words ("/=2 /media/ipod=1").
QString driveList(const Volumes &fs);

} // namespace sondrel::test
