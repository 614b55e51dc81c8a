#include "exportplan.h"

#include "exportitems.h"
#include "exportreport.h"
#include "platformerror.h"
#include "playerpaths.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace sondrel {

namespace {

QString folderKey(const QStringList &path)
{
    return path.join(QLatin1Char('/')).toCaseFolded();
}

bool leftover(const QString &name)
{
    return name.startsWith(QLatin1String(".sondrel-")) && name.endsWith(QLatin1String(".part"));
}

// The folders and the name of a path with "/" between its names.
std::pair<QStringList, QString> split(const std::string &relative)
{
    QStringList names = QString::fromStdString(relative).split(QLatin1Char('/'));
    const QString name = names.takeLast();
    return {names, name};
}

} // namespace

QString tooLargeReason()
{
    return QStringLiteral("too large for the export drive (FAT32 holds files up to 4 GB)");
}

FolderNames::FolderNames(const ExportFiles &fs, std::string exportDirectory,
                         const ExportRecord &record, const NameLimit &limit,
                         std::shared_ptr<const HeldFolder> root)
    : m_fs(fs), m_exportDirectory(std::move(exportDirectory)), m_record(record), m_limit(limit),
      m_root(std::move(root))
{
    if (!m_root && m_fs.folderExists(m_exportDirectory)) {
        try {
            m_root = m_fs.holdFolder(m_exportDirectory);
        } catch (const PlatformError &) {
            // as if empty: placing without replacing still keeps every file
        }
    }
}

std::string FolderNames::relative(const QStringList &folders, const QString &name)
{
    QStringList all = folders;
    all << name;
    return all.join(QLatin1Char('/')).toStdString();
}

std::string FolderNames::path(const std::string &relative) const
{
    std::string out = m_exportDirectory + relative;
    if (m_fs.separator() != '/')
        std::replace(out.begin() + std::ptrdiff_t(m_exportDirectory.size()), out.end(), '/',
                     m_fs.separator());
    return out;
}

std::string FolderNames::folderPath(const QStringList &folders) const
{
    std::string out = m_exportDirectory;
    for (const QString &folder : folders)
        out += folder.toStdString() + m_fs.separator();
    return out;
}

FolderNames::Folder &FolderNames::folder(const QStringList &path)
{
    const QString key = folderKey(path);
    if (const auto found = m_folders.find(key); found != m_folders.end() && found->second.listed)
        return found->second;
    // A folder that is not on the disk (yet) has no entries: only a folder whose parent
    // lists it is looked into.
    bool there = path.isEmpty();
    if (!there) {
        const Folder &parent = folder(path.mid(0, path.size() - 1));
        for (const Entry &entry : parent.entries.value(path.last().toCaseFolded()))
            there = there || (entry.folder && entry.name == path.last());
    }
    Folder &f = m_folders[key]; // node-based: the references given out stay valid
    f.listed = true;
    if (!there)
        return f;
    if (path.isEmpty())
        f.held = m_root;
    else if (const Folder &parent = folder(path.mid(0, path.size() - 1)); parent.held)
        f.held = parent.held->folder(path.last().toStdString());
    if (!f.held)
        return f; // swapped for something else since its parent was listed: as if empty
    std::vector<FolderEntry> entries;
    try {
        entries = f.held->entries();
    } catch (const PlatformError &) {
        return f; // as if empty: placing without replacing still keeps every file
    }
    std::sort(entries.begin(), entries.end(),
              [](const FolderEntry &a, const FolderEntry &b) { return a.name < b.name; });
    for (const FolderEntry &entry : entries) {
        const QString name = QString::fromStdString(entry.name);
        f.entries[name.toCaseFolded()].push_back({name, entry.folder});
    }
    return f;
}

const HeldFolder *FolderNames::held(const QStringList &folders)
{
    return folder(folders).held.get();
}

const HeldFolder &FolderNames::make(const QStringList &folders)
{
    for (qsizetype depth = 0; depth <= folders.size(); ++depth) {
        Folder &f = folder(folders.mid(0, depth));
        if (f.held)
            continue;
        const Folder &parent = depth == 0 ? f : folder(folders.mid(0, depth - 1));
        if (depth == 0 || !parent.held)
            throw PlatformError(ENOENT, std::string(std::strerror(ENOENT)) + ": " +
                                            folderPath(folders.mid(0, depth)));
        f.held = parent.held->makeFolder(folders[depth - 1].toStdString());
    }
    return *folder(folders).held;
}

std::optional<FileStatus> FolderNames::status(const std::string &relativePath)
{
    const auto [folders, name] = split(relativePath);
    const HeldFolder *there = held(folders);
    return there ? there->status(name.toStdString()) : std::nullopt;
}

const FolderNames::Folder *FolderNames::listedFolder(const QStringList &path) const
{
    const auto found = m_folders.find(folderKey(path));
    return found == m_folders.end() || !found->second.listed ? nullptr : &found->second;
}

void FolderNames::clearLeftovers(const QStringList &folders)
{
    for (qsizetype depth = 0; depth <= folders.size(); ++depth) {
        const QStringList path = folders.mid(0, depth);
        Folder &f = folder(path);
        if (f.leftoversCleared || m_keepLeftovers)
            continue;
        f.leftoversCleared = true;
        for (auto it = f.entries.begin(); it != f.entries.end();) {
            std::vector<Entry> &entries = *it;
            std::erase_if(entries, [&](const Entry &entry) {
                if (entry.folder || !leftover(entry.name))
                    return false;
                try {
                    return f.held && f.held->removeFile(entry.name.toStdString(),
                                                        [](const FileStatus &) { return true; });
                } catch (const PlatformError &) {
                    return false;
                }
            });
            it = entries.empty() ? f.entries.erase(it) : std::next(it);
        }
    }
}

QStringList FolderNames::folders(const QStringList &wanted)
{
    QStringList path;
    for (const QString &name : wanted) {
        Folder &parent = folder(path);
        const QString key = name.toCaseFolded();
        auto given = parent.subfolders.constFind(key);
        if (given == parent.subfolders.cend()) {
            // A folder already there under the name (a file there makes the folder take the
            // next " (n)"; a folder there under that one is the run's of an earlier run,
            // or one the user keeps music in: files are never replaced in it).
            QString chosen;
            for (int n = 1; chosen.isEmpty(); ++n) {
                const QString candidate =
                    n == 1 ? name : safeComponent(name, m_limit, QStringLiteral(" (%1)").arg(n));
                const QString folded = candidate.toCaseFolded();
                const std::vector<Entry> there = parent.entries.value(folded);
                for (const Entry &entry : there) { // the exact spelling first, then byte order
                    if (entry.folder && (chosen.isEmpty() || entry.name == candidate))
                        chosen = entry.name;
                }
                if (chosen.isEmpty() && there.empty() && !parent.claimed.contains(folded) &&
                    !(path.isEmpty() && m_reserved.contains(folded)) &&
                    !m_record.find(relative(path, candidate)))
                    chosen = candidate;
            }
            parent.claimed.insert(chosen.toCaseFolded());
            given = parent.subfolders.insert(key, chosen);
        }
        path << *given;
    }
    return path;
}

FolderNames::Look FolderNames::look(const QStringList &folders, const QString &name)
{
    if (folders.isEmpty() && m_reserved.contains(name.toCaseFolded()))
        return {Use::Taken, {}};
    return lookOwn(folders, name);
}

FolderNames::Look FolderNames::lookOwn(const QStringList &folders, const QString &name)
{
    Folder &f = folder(folders);
    const QString folded = name.toCaseFolded();
    if (f.claimed.contains(folded) || m_record.find(relative(folders, name)))
        return {Use::Taken, {}};
    const auto there = f.entries.constFind(folded);
    if (there == f.entries.cend())
        return {Use::Free, {}};
    for (const Entry &entry : *there) {
        if (entry.folder)
            return {Use::Taken, {}};
    }
    return {Use::UsersFile, there->front().name};
}

void FolderNames::claim(const QStringList &folders, const QString &name)
{
    folder(folders).claimed.insert(name.toCaseFolded());
}

void FolderNames::placed(const QStringList &folders, const QString &name)
{
    m_placed.insert(ExportRecord::folded(relative(folders, name)));
    for (qsizetype depth = 1; depth <= folders.size(); ++depth) {
        Folder &parent = folder(folders.mid(0, depth - 1));
        std::vector<Entry> &entries = parent.entries[folders[depth - 1].toCaseFolded()];
        if (std::none_of(entries.begin(), entries.end(),
                         [&](const Entry &e) { return e.name == folders[depth - 1]; }))
            entries.push_back({folders[depth - 1], true});
    }
    std::vector<Entry> &entries = folder(folders).entries[name.toCaseFolded()];
    if (std::none_of(entries.begin(), entries.end(),
                     [&](const Entry &e) { return e.name == name; }))
        entries.push_back({name, false});
}

std::optional<std::string> FolderNames::onDisk(const std::string &relativePath)
{
    const auto [folders, name] = split(relativePath);
    QStringList spelt;
    for (const QString &wanted : folders) {
        const std::vector<Entry> entries = folder(spelt).entries.value(wanted.toCaseFolded());
        QString found;
        for (const Entry &entry : entries) {
            if (entry.folder && (found.isEmpty() || entry.name == wanted))
                found = entry.name;
        }
        if (found.isEmpty())
            return std::nullopt;
        spelt << found;
    }
    const std::vector<Entry> entries = folder(spelt).entries.value(name.toCaseFolded());
    QString found;
    for (const Entry &entry : entries) {
        if (!entry.folder && (found.isEmpty() || entry.name == name))
            found = entry.name;
    }
    if (found.isEmpty())
        return std::nullopt;
    return relative(spelt, found);
}

bool FolderNames::mayBePresent(const std::string &relativePath) const
{
    const auto [folders, name] = split(relativePath);
    QStringList path;
    for (const QString &wanted : folders) {
        const Folder *f = listedFolder(path);
        if (!f)
            return true;
        const auto there = f->entries.constFind(wanted.toCaseFolded());
        if (there == f->entries.cend())
            return false;
        const auto folder =
            std::find_if(there->begin(), there->end(), [](const Entry &e) { return e.folder; });
        if (folder == there->end())
            return false;
        path << folder->name;
    }
    const Folder *f = listedFolder(path);
    return !f || f->entries.contains(name.toCaseFolded());
}

namespace {

// The name a recorded copy of `item` has when that name is the item's under the current
// pattern, with or without " (n)": its n, else 0.
int numberOfRecordedName(const ExportItem &item, const QString &recorded, const NameLimit &limit)
{
    const QString folded = recorded.toCaseFolded();
    if (item.exportName.finished(limit).toCaseFolded() == folded)
        return 1;
    // "<stem> (n)<extension>": n from the last " (" on.
    const qsizetype open = recorded.lastIndexOf(QStringLiteral(" ("));
    if (open < 0)
        return 0;
    const qsizetype close = recorded.indexOf(QLatin1Char(')'), open);
    bool ok = false;
    const int n = close < 0 ? 0 : recorded.mid(open + 2, close - open - 2).toInt(&ok);
    if (!ok || n < 2)
        return 0;
    return item.exportName.finished(limit, n).toCaseFolded() == folded ? n : 0;
}

} // namespace

void takeFreeName(FolderNames &names, const NameLimit &limit, ExportItem &item, int first,
                  const std::function<const std::optional<FileStatus> &()> &source)
{
    for (int n = first;; ++n) {
        const QString name = item.exportName.finished(limit, n);
        const FolderNames::Look there = names.look(item.folders, name);
        if (there.use == FolderNames::Use::Taken)
            continue;
        if (there.use == FolderNames::Use::UsersFile) {
            // Only a file is compared: a link at the name is someone else's.
            const std::optional<FileStatus> copy =
                names.status(FolderNames::relative(item.folders, there.name));
            const std::optional<FileStatus> &from = source();
            if (!copy || !from || copy->kind != FileStatus::Kind::File || copy->size != from->size)
                continue;
            item.step = ExportStep::Compare;
            item.name = there.name;
        } else {
            item.step = ExportStep::Copy;
            item.name = name;
        }
        item.number = n;
        names.claim(item.folders, item.name);
        return;
    }
}

std::uint64_t planExport(const FileSystem &fs, ExportSnapshot &snapshot, const ExportRecord &record,
                         FolderNames &names, CaseInsensitiveFolders &playerFolders)
{
    const std::optional<std::uint64_t> sizeLimit = fs.fileSizeLimit(snapshot.exportDirectory);
    names.reserve(QString::fromLatin1(ExportErrorsFileName));
    for (ExportItem &item : snapshot.items) {
        if (!item.refusal.isEmpty()) {
            item.step = ExportStep::Skip;
            continue;
        }
        const auto source = [&]() -> const std::optional<FileStatus> & {
            if (item.resolvedSource.empty()) {
                item.resolvedSource =
                    resolvePlayerPath(fs, playerFolders, snapshot.playerRoot, item.names);
                item.sourceStatus = fs.status(item.resolvedSource);
            }
            return item.sourceStatus;
        };
        const auto sourceAsRecorded = [&](const RecordLine &line) {
            const std::optional<FileStatus> &status = source();
            return status && status->size == line.sourceSize &&
                   sameTime(status->modified, line.sourceTime);
        };
        item.folders = names.folders(item.wantedFolders);
        names.clearLeftovers(item.folders);

        // The copies the record gives this track under its current name, with or without
        // " (n)": one as placed wins, then one that is gone (its name is still the track's),
        // then one the user changed.
        const RecordLine *asPlaced = nullptr;
        const RecordLine *gone = nullptr;
        const RecordLine *changed = nullptr;
        int asPlacedNumber = 0, goneNumber = 0, changedNumber = 0;
        for (const RecordLine *line : record.byKey(RecordTrack, item.key)) {
            const auto [folders, name] = split(line->path);
            if (folderKey(folders) != folderKey(item.folders))
                continue;
            const int n = numberOfRecordedName(item, name, snapshot.limit);
            if (n == 0)
                continue;
            const std::optional<std::string> spelt = names.onDisk(line->path);
            const std::optional<FileStatus> copy = spelt ? names.status(*spelt) : std::nullopt;
            if (!copy || copy->kind != FileStatus::Kind::File) {
                if (!gone && !copy)
                    gone = line, goneNumber = n;
            } else if (asRecorded(*line, copy->size, copy->modified)) {
                if (!asPlaced)
                    asPlaced = line, asPlacedNumber = n;
            } else if (!changed) {
                changed = line, changedNumber = n;
            }
        }
        const auto keep = [&](const RecordLine *line, int n, ExportStep step) {
            item.number = n;
            item.name = split(names.onDisk(line->path).value_or(line->path)).second;
            item.step = step;
            names.claim(item.folders, item.name);
        };
        if (asPlaced) {
            // With history tags, a copy tagged otherwise than today's history is ours to
            // tag again (one TagLib refused is not tried again while its source is the same).
            // So is one without the cover it can now have.
            const bool retag =
                !asPlaced->tagsRefused &&
                ((snapshot.options.historyTags && asPlaced->tagged != item.history) ||
                 (item.cover && asPlaced->cover.empty()));
            // A rescued copy is ours to replace once its source reads whole.
            item.rescuedLost = asPlaced->lost;
            keep(asPlaced, asPlacedNumber,
                 sourceAsRecorded(*asPlaced) && !retag && asPlaced->lost == 0
                     ? ExportStep::AlreadyThere
                     : ExportStep::Replace);
        } else if (gone) {
            item.number = goneNumber;
            item.name = split(gone->path).second;
            item.step = ExportStep::Copy;
            names.claim(item.folders, item.name);
        } else if (changed && sourceAsRecorded(*changed)) {
            keep(changed, changedNumber, ExportStep::AlreadyThere); // the user's edit stays
        } else {
            // A new name: the first that is free, or a file of the user's there that may
            // be this very copy (an export made before the record).
            takeFreeName(names, snapshot.limit, item, 1, source);
        }
        if (item.step != ExportStep::Copy && item.step != ExportStep::Replace)
            continue;
        if (sizeLimit) {
            const std::optional<FileStatus> &status = source();
            if (status && status->size > *sizeLimit) {
                item.step = ExportStep::Skip;
                item.refusal = tooLargeReason();
                continue;
            }
        }
    }
    names.clearLeftovers({});
    return bytesToWrite(snapshot);
}

std::uint64_t bytesToWrite(const ExportSnapshot &snapshot)
{
    std::uint64_t bytes = 0;
    for (const ExportItem &item : snapshot.items) {
        if (item.step == ExportStep::Copy || item.step == ExportStep::Replace)
            bytes += item.sourceStatus ? item.sourceStatus->size : item.size;
    }
    return bytes;
}

} // namespace sondrel
