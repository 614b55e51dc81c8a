#include "exportrun.h"

#include "exportcopy.h"
#include "exportfinish.h"
#include "exportmessages.h"
#include "exportplan.h"
#include "exportrecord.h"
#include "filesystem.h"
#include "platformerror.h"
#include "playerpaths.h"

#include <QStringList>

#include <algorithm>
#include <memory>

namespace sondrel {

ExportRun::ExportRun(const FileSystem &fs, ExportHost &host) : m_fs(fs), m_host(host) {}

ExportRun::~ExportRun()
{
    // Checked but never run: the lock goes, and a record made for it. A run left by an
    // exception (killed) leaves its record as it is, for the next run to read.
    if (m_record && !m_copying) {
        try {
            m_record->close([](const RecordLine &) { return true; });
        } catch (const PlatformError &) {
        }
    }
}

void ExportRun::prepare(const TrackTable &table, const ExportRequest &request)
{
    m_request = request;
    m_snapshot = takeSnapshot(table, request, m_fs.separator(), m_fs.nameLimit());
}

ExportRun::Outcome ExportRun::plan(const ExportRecord &record,
                                   std::shared_ptr<const HeldFolder> folder,
                                   const std::string &spaceOf, bool shownOnly)
{
    // The plan reads the record, lists the folders and looks at sources and copies.
    m_names = std::make_unique<FolderNames>(m_fs, m_snapshot.exportDirectory, record,
                                            m_snapshot.limit, std::move(folder));
    if (shownOnly)
        m_names->keepLeftovers();
    CaseInsensitiveFolders playerFolders(m_fs);
    m_bytesToCopy = planExport(m_fs, m_snapshot, record, *m_names, playerFolders);
    if (shownOnly) {
        for (ExportItem &item : m_snapshot.items) {
            if (item.step != ExportStep::Copy || !item.resolvedSource.empty())
                continue;
            item.resolvedSource =
                resolvePlayerPath(m_fs, playerFolders, m_snapshot.playerRoot, item.names);
            item.sourceStatus = m_fs.status(item.resolvedSource);
            if (!item.sourceStatus) {
                item.step = ExportStep::Skip;
                item.refusal = QStringLiteral("missing on the iPod");
            }
        }
        m_bytesToCopy = bytesToWrite(m_snapshot);
    }

    // The free space of the file system that holds the export directory (or would hold
    // it), in bytes, against what this run will write.
    const std::uint64_t available = m_fs.availableSpace(spaceOf);
    if (available < m_bytesToCopy) {
        m_host.message(freeSpaceMessage(QString::fromStdString(m_fs.driveOf(spaceOf)), available));
        return Outcome::NotEnoughSpace;
    }
    return Outcome::Ready;
}

ExportRun::Outcome ExportRun::nothingMarked()
{
    m_host.message(QStringLiteral("No files were selected"));
    return Outcome::NothingSelected;
}

ExportRun::Outcome ExportRun::check()
{
    const std::string &exportDirectory = m_snapshot.exportDirectory;
    if (!m_fs.folderExists(exportDirectory)) {
        m_host.message(QStringLiteral("The default directory doesn't exist."));
        return Outcome::DirectoryMissing;
    }
    if (!m_fs.folderExists(m_snapshot.playerRoot)) {
        m_host.message(QStringLiteral("The iPod is not connected."));
        return Outcome::PlayerMissing;
    }
    try {
        // Held from here to the end of the run: whatever becomes of its path meanwhile, the
        // run works in the folder the user chose, and from it down.
        std::shared_ptr<const HeldFolder> folder = m_fs.holdFolder(exportDirectory);
        m_record = std::make_unique<RecordFile>(m_fs, exportDirectory, folder);
        switch (m_record->open()) {
        case RecordFile::Opened::Held:
            m_record.reset();
            m_host.message(recordHeldMessage(m_request.exportDirectory));
            return Outcome::RecordHeld;
        case RecordFile::Opened::Foreign:
            m_record.reset();
            m_host.message(recordForeignMessage(QString::fromStdString(exportDirectory) +
                                                QString::fromLatin1(ExportRecordFileName)));
            return Outcome::RecordForeign;
        case RecordFile::Opened::Ready:
            break;
        }
        const Outcome planned = plan(m_record->record(), folder, exportDirectory, false);
        if (planned != Outcome::Ready)
            return planned;
    } catch (const PlatformError &error) {
        m_host.failure(error);
        return Outcome::Failed;
    }

    m_host.setBusy(true);
    if (m_request.marked.empty()) {
        nothingMarked();
        m_host.setBusy(false);
        return Outcome::NothingSelected;
    }
    return Outcome::Ready;
}

ExportRun::Outcome ExportRun::preview()
{
    const std::string &exportDirectory = m_snapshot.exportDirectory;
    if (!m_fs.folderExists(m_snapshot.playerRoot)) {
        m_host.message(QStringLiteral("The iPod is not connected."));
        return Outcome::PlayerMissing;
    }
    try {
        const std::string recordPath = exportDirectory + ExportRecordFileName;
        m_seenRecord = std::make_unique<ExportRecord>();
        // A directory that is not there yet holds nothing.
        std::shared_ptr<const HeldFolder> folder;
        if (m_fs.folderExists(exportDirectory))
            folder = m_fs.holdFolder(exportDirectory);
        const std::optional<FileStatus> there =
            folder ? folder->status(ExportRecordFileName) : std::nullopt;
        if (there && there->kind != FileStatus::Kind::File) {
            m_host.message(recordForeignMessage(QString::fromStdString(recordPath)));
            return Outcome::RecordForeign;
        }
        if (there) {
            std::vector<std::uint8_t> bytes;
            try {
                bytes = folder->readFile(ExportRecordFileName);
            } catch (const PlatformError &) {
                // unreadable: as empty, as a run reads it
            }
            std::optional<ExportRecord> read = ExportRecord::parse(bytes);
            if (!read) {
                m_host.message(recordForeignMessage(QString::fromStdString(recordPath)));
                return Outcome::RecordForeign;
            }
            *m_seenRecord = std::move(*read);
        }
        const Outcome planned =
            plan(*m_seenRecord, folder, missingFolders(m_fs, exportDirectory).existing, true);
        if (planned != Outcome::Ready)
            return planned;
    } catch (const PlatformError &error) {
        m_host.failure(error);
        return Outcome::Failed;
    }
    if (m_request.marked.empty())
        return nothingMarked();
    return Outcome::Ready;
}

ExportReport ExportRun::copy(ExportProgress &progress)
{
    m_copying = true;
    ExportReport report = copyPlanned(m_fs, m_snapshot, *m_record, *m_names, progress);
    finishRun(m_fs, m_snapshot, *m_record, *m_names, report);
    m_record.reset();
    return report;
}

void tellReport(ExportHost &host, const ExportReport &report)
{
    const QString closing = closingMessage(report);
    if (report.failure) {
        host.setBusy(false);
        host.failure(*report.failure);
    }
    if (!closing.isEmpty())
        host.message(closing);
    for (const std::optional<PlatformError> &later :
         {report.errorsFileFailure, report.recordFailure}) {
        if (later && !report.failure) {
            host.setBusy(false);
            host.failure(*later);
        }
    }
    host.setBusy(false);
}

MissingFolders missingFolders(const FileSystem &fs, const std::string &folder)
{
    MissingFolders folders;
    std::string path = folder;
    while (path.size() >= 2 && !fs.folderExists(path)) {
        folders.missing.push_back(path);
        const std::size_t cut = path.find_last_of(fs.separator(), path.size() - 2);
        if (cut == std::string::npos)
            break;
        path.resize(cut + 1);
    }
    std::reverse(folders.missing.begin(), folders.missing.end());
    folders.existing = path;
    return folders;
}

} // namespace sondrel
