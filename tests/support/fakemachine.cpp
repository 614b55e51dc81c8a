#include "fakemachine.h"

#include "filesystem_posix.h"

#include <QDir>
#include <QFile>

namespace sondrel::test {

FakeMachine::FakeMachine()
{
    QDir(m_dir.path()).mkpath(QStringLiteral("sys/block"));
    QFile table(mountTablePath());
    table.open(QIODevice::WriteOnly);
}

FakeMachine::FakeMachine(const QStringList &mountTable) : FakeMachine()
{
    for (const QString &line : mountTable) {
        const QStringList fields = line.split(QLatin1Char('|'));
        mount(fields.value(0), fields.value(1), fields.value(2));
    }
}

Services FakeMachine::services() const
{
    Services services;
    services.fileSystem = [this] { return fileSystem(); };
    return services;
}

void FakeMachine::mount(const QString &source, const QString &mountPoint, const QString &type)
{
    QString escaped = mountPoint;
    escaped.replace(QLatin1Char(' '), QLatin1String("\\040"));
    QFile table(mountTablePath());
    table.open(QIODevice::Append);
    table.write(QStringLiteral("%1 %2 %3 rw,relatime 0 0\n").arg(source, escaped, type).toUtf8());
}

void FakeMachine::blockDevice(const QString &disk, bool removable, const QStringList &partitions)
{
    QDir block(sysfsRoot() + QStringLiteral("/block"));
    block.mkpath(disk);
    QFile flag(block.filePath(disk + QStringLiteral("/removable")));
    flag.open(QIODevice::WriteOnly);
    flag.write(removable ? "1\n" : "0\n");
    for (const QString &partition : partitions)
        block.mkpath(disk + QLatin1Char('/') + partition);
}

void FakeMachine::setUserFolders(const QString &home, const QString &music)
{
    m_home = home;
    m_music = music;
}

QString FakeMachine::mountTablePath() const
{
    return m_dir.filePath(QStringLiteral("mounts"));
}

QString FakeMachine::sysfsRoot() const
{
    return m_dir.filePath(QStringLiteral("sys"));
}

std::unique_ptr<FileSystem> FakeMachine::fileSystem() const
{
    auto fs = std::make_unique<PosixFileSystem>(mountTablePath().toStdString(),
                                                sysfsRoot().toStdString());
    fs->setUserFolders({m_home.toStdString(), m_music.toStdString()});
    return fs;
}

QString driveList(const Volumes &fs)
{
    QStringList out;
    for (const Drive &d : fs.drives())
        out << QStringLiteral("%1=%2").arg(QString::fromStdString(d.path)).arg(int(d.type));
    return out.join(QLatin1Char(' '));
}

} // namespace sondrel::test
