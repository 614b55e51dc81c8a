#include "exportplace.h"

#include "exportplan.h"
#include "historytags.h"
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
    // Nothing is dropped while a thread of the run still works on it.
    if (m_placing.valid())
        m_placing.wait();
    for (Pending &pending : m_pending) {
        if (pending.flushed.valid())
            pending.flushed.wait();
    }
}

void Placer::add(std::size_t index, std::unique_ptr<StagedCopy> copy)
{
    StagedCopy *staged = copy.get();
    const ExportItem &item = m_snapshot.items[index];
    const std::optional<HistoryTags> tags = item.history;
    const std::uint32_t image = m_snapshot.artwork ? item.cover : 0;
    const HistoryFormat format =
        tags || image ? historyFormat(item.names.back()) : HistoryFormat::None;
    if (image && !m_snapshot.covers) // made for the first copy that gets a cover
        m_snapshot.covers = std::make_shared<CoverJpegs>(m_fs, m_snapshot.artwork);
    CoverJpegs *covers = m_snapshot.covers.get();
    m_pending.push_back({index, std::move(copy),
                         std::async(std::launch::async, [staged, tags, format, image, covers] {
                             Flushed flushed;
                             CoverRequest cover;
                             if (image)
                                 cover.jpeg = [covers, image] { return covers->jpeg(image); };
                             if (tags || image) {
                                 flushed.tagsRefused =
                                     writeCopyTags(*staged, format, tags ? &*tags : nullptr,
                                                   image ? &cover : nullptr);
                                 flushed.cover = cover.outcome;
                             }
                             if (!flushed.tagsRefused)
                                 flushed.result = staged->flush(CopyTime::FromSource);
                             return flushed;
                         })});
}

CopyResult Placer::untagged(Pending &pending, const QString &refusal)
{
    ExportItem &item = m_snapshot.items[pending.index];
    pending.copy.reset(); // its temporary file goes
    Staging again =
        m_names.make(item.folders).stageCopy(item.resolvedSource, item.name.toStdString());
    if (!again.copy)
        return again.result;
    item.sourceBytes = again.result.bytes;
    item.tagsRefused = true;
    item.tagsNote = QStringLiteral("tags not written: ") + refusal;
    pending.copy = std::move(again.copy);
    return pending.copy->flush(CopyTime::FromSource);
}

RecordLine Placer::lineOf(const ExportItem &item, const CopyResult &flushed) const
{
    RecordLine line;
    line.path = FolderNames::relative(item.folders, item.name);
    line.kind = RecordTrack;
    line.key = item.key;
    line.sourceSize = item.sourceBytes; // the copy's own size differs once tagged
    line.sourceTime = flushed.sourceModified;
    line.size = flushed.bytes;
    line.time = flushed.modified;
    line.tagged = item.tagsRefused ? std::nullopt : item.history;
    line.tagsRefused = item.tagsRefused;
    line.lost = item.lost;
    line.cover = item.coverOutcome == CoverOutcome::Written      ? RecordCoverPut
                 : item.coverOutcome == CoverOutcome::OwnPicture ? RecordCoverOwn
                                                                 : "";
    return line;
}

void Placer::start()
{
    // The copies whose flush is done, from the front (at least the front one).
    Batch batch;
    while (!m_pending.empty() &&
           (batch.copies.empty() || m_pending.front().flushed.wait_for(std::chrono::seconds(0)) ==
                                        std::future_status::ready)) {
        Flushed done = m_pending.front().flushed.get();
        const CopyResult flushed =
            done.tagsRefused ? untagged(m_pending.front(), *done.tagsRefused) : done.result;
        ExportItem &item = m_snapshot.items[m_pending.front().index];
        item.coverOutcome = done.tagsRefused ? CoverOutcome::None : done.cover;
        batch.flushes.push_back(flushed);
        batch.paths.push_back(m_names.path(FolderNames::relative(item.folders, item.name)));
        batch.replace.push_back(item.step == ExportStep::Replace);
        if (flushed.copied())
            batch.lines.push_back(lineOf(item, flushed));
        batch.copies.push_back(std::move(m_pending.front()));
        m_pending.pop_front();
    }
    if (batch.copies.empty())
        return;
    m_batch = std::move(batch);
    // Their lines with one flush of the record, then the renames, then one flush of each
    // folder's entries: on a thread of its own while the next copies are made.
    m_placing = std::async(std::launch::async, [this] {
        Batch &b = m_batch;
        m_record.append(b.lines);
        std::vector<std::string> folders;
        std::vector<StagedCopy *> flushing;
        for (std::size_t i = 0; i < b.copies.size(); ++i) {
            b.renames.push_back(b.flushes[i]);
            if (!b.flushes[i].copied())
                continue;
            b.renames[i] = b.copies[i].copy->rename(b.paths[i], b.replace[i]);
            const std::string folder =
                b.paths[i].substr(0, b.paths[i].find_last_of(m_fs.separator()));
            if (b.renames[i].copied() &&
                std::find(folders.begin(), folders.end(), folder) == folders.end()) {
                folders.push_back(folder);
                flushing.push_back(b.copies[i].copy.get());
            }
        }
        for (StagedCopy *copy : flushing)
            copy->flushFolder();
    });
}

std::vector<Placer::Placed> Placer::finish()
{
    std::vector<Placed> done;
    if (!m_placing.valid())
        return done;
    std::future<void> placing = std::move(m_placing);
    try {
        placing.get();
    } catch (...) { // what the record raised: the batch is dropped with its files
        m_batch = {};
        throw;
    }
    Batch batch = std::move(m_batch);
    m_batch = {};
    for (std::size_t i = 0; i < batch.copies.size(); ++i) {
        ExportItem &item = m_snapshot.items[batch.copies[i].index];
        Placed placed{batch.copies[i].index, batch.renames[i], batch.paths[i]};
        while (placed.result.outcome == CopyOutcome::NameTaken) {
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
            m_record.append({lineOf(item, batch.flushes[i])});
            placed.path = m_names.path(FolderNames::relative(item.folders, item.name));
            placed.result = batch.copies[i].copy->rename(placed.path, false);
            if (placed.result.copied())
                batch.copies[i].copy->flushFolder();
        }
        if (placed.result.copied()) {
            placed.result.bytes = batch.flushes[i].bytes;
            m_names.placed(item.folders, item.name);
        }
        done.push_back(std::move(placed));
    }
    return done;
}

std::vector<Placer::Placed> Placer::settle(std::size_t most)
{
    std::vector<Placed> done;
    const auto take = [&](std::vector<Placed> more) {
        for (Placed &placed : more)
            done.push_back(std::move(placed));
    };
    // A batch that is done makes way for the next; while more than `most` copies wait,
    // the run waits for the batch under way and starts the next one.
    if (m_placing.valid() &&
        m_placing.wait_for(std::chrono::seconds(0)) == std::future_status::ready)
        take(finish());
    if (!m_placing.valid() && !m_pending.empty() &&
        m_pending.front().flushed.wait_for(std::chrono::seconds(0)) == std::future_status::ready)
        start();
    while (m_pending.size() > most || (most == 0 && m_placing.valid())) {
        take(finish());
        start();
    }
    return done;
}

PlacedFile placeFile(RecordFile &record, FolderNames &names, const ExportSnapshot &snapshot,
                     const std::string &kind, const QString &key, const ExportName &wanted,
                     const QByteArray &bytes, const QStringList &folders, bool keepSame)
{
    PlacedFile placed;
    bool replace = false;
    const QString here =
        folders.isEmpty() ? QString() : QString::fromStdString(FolderNames::relative(folders, {}));
    // The file of this kind and key that the record names, when it is still as written
    // (it is replaced in place) or gone (its name is still ours).
    for (const RecordLine *line : record.record().byKey(kind, key)) {
        if (names.placedByRun(line->path))
            continue; // another file of this key that this run wrote (two playlists of a title)
        const std::optional<std::string> spelt = names.onDisk(line->path);
        const std::optional<FileStatus> there = spelt ? names.status(*spelt) : std::nullopt;
        if (spelt && (!there || there->kind != FileStatus::Kind::File ||
                      !asRecorded(*line, there->size, there->modified)))
            continue; // changed by the user, or no longer a file: left alone
        const QString path = QString::fromStdString(line->path);
        const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
        if (slash + 1 != here.size() ||
            path.left(slash + 1).compare(here, Qt::CaseInsensitive) != 0)
            continue; // only files in the folder itself
        placed.relative = spelt.value_or(line->path);
        replace = bool(spelt);
        if (keepSame && replace && there->size == std::uint64_t(bytes.size())) {
            const HeldFolder *folder = names.held(folders);
            const std::string name = placed.relative.substr(placed.relative.rfind('/') + 1);
            try {
                const std::vector<std::uint8_t> had =
                    folder ? folder->readFile(name) : std::vector<std::uint8_t>();
                if (folder && had.size() == std::size_t(bytes.size()) &&
                    std::equal(had.begin(), had.end(), bytes.begin(),
                               [](std::uint8_t a, char b) { return a == std::uint8_t(b); })) {
                    placed.path = names.path(placed.relative);
                    placed.result.outcome = CopyOutcome::Copied;
                    placed.unchanged = true;
                    names.placed(folders, QString::fromStdString(name));
                    return placed;
                }
            } catch (const PlatformError &) {
                // unreadable: written anew
            }
        }
        break;
    }
    int n = 1;
    const auto nextFree = [&] {
        for (;; ++n) {
            const QString name = wanted.finished(snapshot.limit, n);
            if (names.lookOwn(folders, name).use == FolderNames::Use::Free) {
                names.claim(folders, name);
                return FolderNames::relative(folders, name);
            }
        }
    };
    if (placed.relative.empty())
        placed.relative = nextFree();
    placed.path = names.path(placed.relative);

    const std::string fileName = placed.relative.substr(placed.relative.rfind('/') + 1);
    Staging staging =
        names.make(folders).stageBytes(fileName, bytes.constData(), std::size_t(bytes.size()));
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
        names.placed(folders, QString::fromStdString(fileName));
    }
    return placed;
}

} // namespace sondrel
