#pragma once

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>
#include <string>
#include <vector>

#include "filesystem_posix.h"
#include "installprocedure.h"
#include "recordingstarter.h"
#include "shell_posix.h"

namespace sondrel::test {

// A machine for the installer inside one temporary folder: W (the folder the archive was
// extracted to), S (the system folder), the parent of the install directory, P and K.
class SetupMachine
{
public:
    SetupMachine()
        : work(path("work")), system(path("system")),
          programs(path("home/.local/share/applications")), desktop(path("home/Desktop")),
          installParent(path("opt")), linkFolder(path("usr/local/bin"))
    {
        for (const QString &folder : {work, system, programs, desktop, installParent, linkFolder})
            QDir().mkpath(folder);
    }

    QString path(const QString &relative) const { return root.filePath(relative); }
    // The default install directory of this machine, one level below an existing folder.
    QString installDir() const { return installParent + QStringLiteral("/Sondrel/"); }

    // Writes a file with the given bytes (its name as text when none are given).
    static void writeFile(const QString &path, const QByteArray &bytes = {})
    {
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly))
            qFatal("cannot write %s", qPrintable(path));
        file.write(bytes.isEmpty() ? QFileInfo(path).fileName().toUtf8() : bytes);
    }
    static QByteArray readFile(const QString &path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    // The files the archive holds, as extracted into W.
    void extract(bool control = true, bool program = true, bool readMe = true)
    {
        if (control)
            writeFile(work + QStringLiteral("/libtrackgrid.so.1"), "grid control");
        if (program) {
            writeFile(work + QStringLiteral("/Sondrel"), "new program");
            writeFile(work + QStringLiteral("/sondrel-export"), "new command");
        }
        if (readMe)
            writeFile(work + QStringLiteral("/READ ME FIRST.TXT"), "new read-me");
        writeFile(work + QStringLiteral("/VemoSetup"), "installer");
    }

    // Every file and folder below the machine's root with its size, for before/after checks.
    QStringList snapshot() const
    {
        QStringList entries;
        QDirIterator it(root.path(), QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            it.next();
            entries << QDir(root.path()).relativeFilePath(it.filePath()) + QLatin1Char(' ') +
                           QString::number(it.fileInfo().isDir() ? -1 : it.fileInfo().size());
        }
        entries.sort();
        return entries;
    }

    // The services of this machine: its system folder, W, P and K, a recording starter.
    setup::SetupServices services() const
    {
        setup::SetupServices s;
        const std::string systemFolder = system.toStdString();
        s.fileSystem = [systemFolder] {
            return std::unique_ptr<FileSystem>(
                std::make_unique<PosixFileSystem>("/proc/self/mounts", "/sys", systemFolder));
        };
        s.processStarter = RecordingStarter::factory(started, {std::nullopt, registrationStatus});
        s.desktopStarter = RecordingStarter::factory(startedForUser);
        const std::string p = programs.toStdString();
        const std::string k = desktop.toStdString();
        const auto shells = shellsMade;
        s.shell = [p, k, shells] {
            ++*shells;
            return std::unique_ptr<Shell>(std::make_unique<PosixShell>(p, k));
        };
        const std::string w = work.toStdString();
        s.workingDirectory = [w] { return w; };
        const std::string links = linkFolder.toStdString();
        s.commandLinkFolder = [links] { return links; };
        return s;
    }

    QTemporaryDir root;
    QString work;
    QString system;
    QString programs;
    QString desktop;
    QString installParent;
    QString linkFolder; // where root links the command-line export
    // What the installer started with its own rights (the registration), and for the user.
    std::shared_ptr<std::vector<StartedProcess>> started =
        std::make_shared<std::vector<StartedProcess>>();
    std::shared_ptr<std::vector<StartedProcess>> startedForUser =
        std::make_shared<std::vector<StartedProcess>>();
    // The exit status the registration command reports.
    int registrationStatus = 0;
    std::shared_ptr<int> shellsMade = std::make_shared<int>(0);
};

} // namespace sondrel::test
