#include "exportplace.h"

#include "exportplan.h"
#include "platformerror.h"

#include <algorithm>
#include <chrono>

namespace sondrel {

Placer::Placer(const FileSystem &fs, RecordFile &record, FolderNames &names,
               ExportSnapshot &snapshot)
    : m_fs(fs), m_record(record), m_names(names), m_snapshot(snapshot)
{
}

Placer::~Placer()
{
    for (Pending &pending : m_pending) {
        if (pending.flushed.valid())
            pending.flushed.wait(); // the copy is dropped only when its flush is over
    }
}

void Placer::add(std::size_t index, std::unique_ptr<StagedCopy> copy)
{
    StagedCopy *staged = copy.get();
    m_pending.push_back({index, std::move(copy), std::async(std::launch::async, [staged] {
                             return staged->flush(CopyTime::FromSource);
                         })});
}

RecordLine Placer::lineOf(const ExportItem &item, const CopyResult &flushed) const
{
    RecordLine line;
    line.path = FolderNames::relative(item.folders, item.name);
    line.kind = RecordTrack;
    line.key = item.key;
    line.sourceSize = flushed.bytes;
    line.sourceTime = flushed.sourceModified;
    line.size = flushed.bytes;
    line.time = flushed.modified;
    return line;
}

std::vector<Placer::Placed> Placer::settle(std::size_t most)
{
    // The copies whose flush is done, from the front: all of them once more than `most`
    // are under way or when waiting for every one.
    std::vector<Pending> batch;
    std::vector<CopyResult> flushes;
    while (!m_pending.empty() &&
           (m_pending.size() > most ||
            m_pending.front().flushed.wait_for(std::chrono::seconds(0)) ==
                std::future_status::ready)) {
        flushes.push_back(m_pending.front().flushed.get());
        batch.push_back(std::move(m_pending.front()));
        m_pending.pop_front();
    }
    std::vector<Placed> done;
    std::vector<RecordLine> lines;
    // One renamed copy of each folder, whose folder is flushed once for the batch.
    std::vector<std::pair<QStringList, StagedCopy *>> folders;
    for (std::size_t i = 0; i < batch.size(); ++i) {
        if (flushes[i].copied())
            lines.push_back(lineOf(m_snapshot.items[batch[i].index], flushes[i]));
    }
    m_record.append(lines); // raises: the batch is dropped with its temporary files

    for (std::size_t i = 0; i < batch.size(); ++i) {
        ExportItem &item = m_snapshot.items[batch[i].index];
        Placed placed{batch[i].index, flushes[i], {}};
        const bool replace = item.step == ExportStep::Replace;
        while (placed.result.copied()) {
            placed.path = m_names.path(FolderNames::relative(item.folders, item.name));
            placed.result = batch[i].copy->rename(placed.path, replace);
            if (placed.result.outcome != CopyOutcome::NameTaken)
                break;
            // Made by someone else since the plan: the next free number, recorded first.
            m_record.forget(FolderNames::relative(item.folders, item.name));
            for (int n = item.number + 1;; ++n) {
                const QString name = item.exportName.finished(m_snapshot.limit, n);
                if (m_names.look(item.folders, name).use == FolderNames::Use::Free) {
                    item.number = n;
                    item.name = name;
                    m_names.claim(item.folders, name);
                    break;
                }
            }
            m_record.append({lineOf(item, flushes[i])});
            placed.result = flushes[i];
        }
        if (placed.result.copied()) {
            placed.result.bytes = flushes[i].bytes;
            m_names.placed(item.folders, item.name);
            if (std::none_of(folders.begin(), folders.end(),
                             [&](const auto &folder) { return folder.first == item.folders; }))
                folders.push_back({item.folders, batch[i].copy.get()});
        } else if (placed.path.empty()) {
            placed.path = m_names.path(FolderNames::relative(item.folders, item.name));
        }
        done.push_back(std::move(placed));
    }
    for (const auto &[path, copy] : folders)
        copy->flushFolder();
    return done;
}

PlacedFile placeFile(const FileSystem &fs, RecordFile &record, FolderNames &names,
                     const ExportSnapshot &snapshot, const std::string &kind, const QString &key,
                     const ExportName &wanted, const QByteArray &bytes)
{
    PlacedFile placed;
    bool replace = false;
    // The file of this kind and key that the record names, when it is still as written
    // (it is replaced in place) or gone (its name is still ours).
    for (const RecordLine *line : record.record().byKey(kind, key)) {
        if (names.placedByRun(line->path))
            continue; // another file of this key that this run wrote (two playlists of a title)
        const std::optional<std::string> spelt = names.onDisk(line->path);
        const std::optional<FileStatus> there =
            spelt ? fs.status(names.path(*spelt)) : std::nullopt;
        if (spelt && (!there || there->kind != FileStatus::Kind::File ||
                      !asRecorded(*line, there->size, there->modified)))
            continue; // changed by the user, or no longer a file: left alone
        if (QString::fromStdString(line->path).contains(QLatin1Char('/')))
            continue; // only files in the export directory itself
        placed.relative = spelt.value_or(line->path);
        replace = bool(spelt);
        break;
    }
    int n = 1;
    const auto nextFree = [&] {
        for (;; ++n) {
            const QString name = wanted.finished(snapshot.limit, n);
            if (names.lookOwn({}, name).use == FolderNames::Use::Free) {
                names.claim({}, name);
                return name.toStdString();
            }
        }
    };
    if (placed.relative.empty())
        placed.relative = nextFree();
    placed.path = names.path(placed.relative);

    Staging staging = fs.stageBytes(placed.path, bytes.constData(), std::size_t(bytes.size()));
    if (!staging.copy) {
        placed.result = staging.result;
        return placed;
    }
    const CopyResult flushed = staging.copy->flush(CopyTime::Now);
    if (!flushed.copied()) {
        placed.result = flushed;
        return placed;
    }
    for (;;) {
        RecordLine line;
        line.path = placed.relative;
        line.kind = kind;
        line.key = key;
        line.size = flushed.bytes;
        line.time = flushed.modified;
        record.append({line});
        placed.result = staging.copy->rename(placed.path, replace);
        if (placed.result.outcome != CopyOutcome::NameTaken)
            break;
        record.forget(placed.relative);
        placed.relative = nextFree();
        placed.path = names.path(placed.relative);
    }
    if (placed.result.copied()) {
        staging.copy->flushFolder();
        names.placed({}, QString::fromStdString(placed.relative));
    }
    return placed;
}

} // namespace sondrel
