#include "exportcopy.h"

#include "exportmessages.h"
#include "exportplace.h"
#include "exportplan.h"
#include "platformerror.h"
#include "playerpaths.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>
#include <system_error>

namespace sondrel {

QString skipReason(const CopyResult &result)
{
    const QString system = QString::fromStdString(result.message);
    switch (result.outcome) {
    case CopyOutcome::SourceMissing:
        return QStringLiteral("missing on the iPod");
    case CopyOutcome::SourceNotRegular:
        return QStringLiteral("not a regular file");
    case CopyOutcome::SameFile:
        return QStringLiteral("same file as the destination");
    case CopyOutcome::OutsideFolder:
        return QString::fromLatin1(LinkOutOfFolder);
    case CopyOutcome::NameRefused:
        return QStringLiteral("name refused by the export folder: ") + system;
    case CopyOutcome::TooLarge:
        return tooLargeReason();
    default:
        return QStringLiteral("could not be read: ") + system;
    }
}

namespace {

// A failed copy or write as the run-time error report tells it.
PlatformError failureOf(const CopyResult &result)
{
    return PlatformError(result.error, result.message + ": " + result.path);
}

} // namespace

ExportReport copyPlanned(const FileSystem &fs, ExportSnapshot &snapshot, RecordFile &record,
                         FolderNames &names, ExportProgress &progress)
{
    // A copy is given its time and flushed on a thread of its own while the next one is
    // copied: the disk flushes several at once (as it does for cp and one sync), and the
    // player is still read one file after the other.
    constexpr std::size_t MaxPlacing = 8;
    std::vector<std::pair<std::size_t, SkippedTrack>> skipped;
    ExportReport report;
    report.count = int(snapshot.items.size());

    // The first failure ends the run; later ones (of placings still under way) add nothing.
    const auto stop = [&](const PlatformError &error) {
        if (!report.failure) {
            report.end = ExportReport::End::DestinationFailed;
            report.failure = error;
        }
    };
    const auto skip = [&](std::size_t index, const std::string &source, const QString &reason) {
        skipped.push_back({index, {snapshot.items[index].title, source, reason}});
    };
    const auto sourceOf = [&](const ExportItem &item) {
        return item.resolvedSource.empty() ? item.source : item.resolvedSource;
    };
    // A failure that shows the player itself gone, not one file: its drive says so, or,
    // looked at again after a failed read, its folder no longer holds the player.
    const auto playerFolderGone = [&] {
        return !fs.folderExists(snapshot.playerRoot) ||
               findEntry(fs, snapshot.playerRoot, "iPod_Control").empty();
    };
    const auto playerGone = [&](const CopyResult &result) {
        if (result.outcome == CopyOutcome::SourceGone)
            return true;
        if (result.outcome != CopyOutcome::SourceUnreadable &&
            result.outcome != CopyOutcome::SourceMissing)
            return false;
        return playerFolderGone();
    };
    const auto endGone = [&](const CopyResult &result) {
        report.end = ExportReport::End::PlayerGone;
        report.player = snapshot.playerRoot;
        report.goneReason = result.message.empty() ? QStringLiteral("it no longer answers")
                                                   : QString::fromStdString(result.message);
    };
    // A rescued copy of an earlier run whose source still does not read whole: it stays.
    const auto keepRescued = [&](std::size_t index, const std::string &source) {
        ExportItem &item = snapshot.items[index];
        ++report.already;
        item.present = true;
        item.lost = item.rescuedLost;
        skip(index, source, rescuedNote(item.rescuedLost));
    };

    {
        Placer placer(fs, record, names, snapshot);
        const auto settle = [&](std::size_t most) {
            for (Placer::Placed &placed : placer.settle(most)) {
                ExportItem &item = snapshot.items[placed.index];
                if (placed.result.copied()) {
                    ++report.copied;
                    item.present = true;
                    report.written.push_back(placed.path);
                    if (item.tagsRefused) // still exported, untagged
                        skip(placed.index, sourceOf(item), item.tagsNote);
                } else if (placed.result.outcome == CopyOutcome::DestinationFailed) {
                    stop(failureOf(placed.result));
                } else {
                    skip(placed.index, sourceOf(item), skipReason(placed.result));
                }
            }
        };

        try {
            CaseInsensitiveFolders folders(fs);
            const std::string playerDrive = fs.driveOf(snapshot.playerRoot);
            std::uint64_t before = 0; // bytes of the copies done
            for (std::size_t i = 0; i < snapshot.items.size() && !report.failure; ++i) {
                ExportItem &item = snapshot.items[i];
                if (progress.cancelled()) {
                    report.end = ExportReport::End::Cancelled;
                    break;
                }
                ++report.reached;
                progress.reach(report.reached, report.count, item.title);
                progress.setBytes(before);

                if (item.step == ExportStep::Skip) {
                    skip(i, sourceOf(item), item.refusal);
                    continue;
                }
                if (item.step == ExportStep::AlreadyThere) {
                    ++report.already;
                    item.present = true;
                    continue;
                }
                if (item.resolvedSource.empty()) {
                    item.resolvedSource =
                        resolvePlayerPath(fs, folders, snapshot.playerRoot, item.names);
                }
                const std::string &source = item.resolvedSource;
                // A link may lead anywhere: the file itself must lie on the player's drive.
                if (fs.fileExists(source) && fs.driveOf(source) != playerDrive) {
                    skip(i, source,
                         QStringLiteral("could not be read: it lies outside the iPod's drive"));
                    continue;
                }
                // A file of the user's at the name: the very copy when it holds the source's
                // bytes (an export made before the record); otherwise the next name.
                while (item.step == ExportStep::Compare) {
                    const std::string there = FolderNames::relative(item.folders, item.name);
                    const HeldFolder *folder = names.held(item.folders);
                    const std::string name = item.name.toStdString();
                    if (const std::optional<FileIdentity> own = fs.identity(source);
                        own && folder && own == folder->identity(name))
                        break; // the source itself (an export directory inside the player)
                    bool same = false;
                    try {
                        same = folder && folder->sameContents(source, name);
                    } catch (const PlatformError &) {
                    }
                    if (!same) {
                        takeFreeName(names, snapshot.limit, item, item.number + 1,
                                     [&]() -> const std::optional<FileStatus> & {
                                         return item.sourceStatus;
                                     });
                        continue;
                    }
                    const std::optional<FileStatus> copy = names.status(there);
                    RecordLine line;
                    line.path = FolderNames::relative(item.folders, item.name);
                    line.kind = RecordTrack;
                    line.key = item.key;
                    line.sourceSize = item.sourceStatus ? item.sourceStatus->size : 0;
                    line.sourceTime = item.sourceStatus ? item.sourceStatus->modified : 0;
                    line.size = copy ? copy->size : 0;
                    line.time = copy ? copy->modified : 0;
                    record.append({line});
                    if (item.history || item.cover) { // now ours: tagged, it takes its place
                        item.step = ExportStep::Replace;
                        break;
                    }
                    item.step = ExportStep::AlreadyThere;
                    ++report.already;
                    item.present = true;
                }
                if (item.step == ExportStep::AlreadyThere)
                    continue;
                item.step = item.step == ExportStep::Compare ? ExportStep::Copy : item.step;

                // A source that is no file fails before the folders are needed: none is
                // made for it.
                const HeldFolder *folder = names.held(item.folders);
                const bool sourceIsFile = folder || fs.fileExists(source);
                if (!folder && sourceIsFile)
                    folder = &names.make(item.folders);
                const std::uint64_t bytes = item.sourceStatus ? item.sourceStatus->size : item.size;
                CopyOptions options;
                options.within = snapshot.playerRoot; // never a file reached out of the player
                options.rescue = snapshot.options.rescue;
                options.progress = [&](std::uint64_t copied) {
                    progress.setBytes(before + std::min(copied, bytes));
                    return !progress.cancelled();
                };
                Staging staging;
                if (sourceIsFile) {
                    staging = folder->stageCopy(source, item.name.toStdString(), options);
                } else {
                    staging.result.outcome = fs.status(source) ? CopyOutcome::SourceNotRegular
                                                               : CopyOutcome::SourceMissing;
                    staging.result.path = source;
                }
                item.sourceBytes = staging.result.bytes;
                // Blocks that failed as the player went: nothing of it is kept.
                if (staging.copy && staging.result.lost > 0 && playerFolderGone()) {
                    staging.copy.reset();
                    endGone({});
                    break;
                }
                if (staging.copy && item.rescuedLost > 0 && staging.result.lost > 0) {
                    staging.copy.reset(); // no better than the rescued copy there
                    keepRescued(i, source);
                } else if (staging.copy) {
                    item.lost = staging.result.lost;
                    if (item.lost > 0)
                        skip(i, source, rescuedNote(item.lost));
                    placer.add(i, std::move(staging.copy));
                } else if (staging.result.outcome == CopyOutcome::Cancelled) {
                    report.end = ExportReport::End::Cancelled;
                    break;
                } else if (staging.result.outcome == CopyOutcome::DestinationFailed) {
                    stop(failureOf(staging.result));
                    break;
                } else if (playerGone(staging.result)) {
                    endGone(staging.result);
                    break;
                } else if (item.rescuedLost > 0) {
                    keepRescued(i, source);
                } else {
                    skip(i, source, skipReason(staging.result));
                }
                before += bytes;
                progress.setBytes(before);
                settle(MaxPlacing - 1);
            }
            // The files copied before a cancel or a failure are whole: they are placed.
            settle(0);
        } catch (const PlatformError &error) {
            stop(error);
        } catch (const std::system_error &error) { // no thread to be had for a flush
            stop(PlatformError(error.code().value(), error.what()));
        } catch (const std::bad_alloc &) {
            stop(PlatformError(ENOMEM, std::strerror(ENOMEM)));
        }
        if (report.failure) {
            try {
                settle(0);
            } catch (const PlatformError &) {
                // the record failed: what is left is dropped with its temporary files
            }
        }
    }

    std::stable_sort(skipped.begin(), skipped.end(),
                     [](const auto &a, const auto &b) { return a.first < b.first; });
    for (auto &[index, track] : skipped)
        report.skipped.push_back(std::move(track));
    return report;
}

} // namespace sondrel
