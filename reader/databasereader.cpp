#include "databasereader.h"

#include "artworkdb.h"
#include "platformerror.h"
#include "playcounts.h"

#include <QString>

namespace sondrel {

DatabaseReader::DatabaseReader(const PlayerFiles &fs, const std::string &playerDrive)
    : m_fs(fs), m_playerDrive(playerDrive)
{
}

DatabaseReader::DatabaseReader(const PlayerFiles &fs, const std::string &playerDrive,
                               const std::string &workFolder)
    : m_fs(fs), m_playerDrive(playerDrive),
      m_files(workFiles(QString::fromStdString(playerDrive), QString::fromStdString(workFolder),
                        fs.separator()))
{
}

DatabaseReader::~DatabaseReader()
{
    discardWorkFiles();
}

bool DatabaseReader::find()
{
    const PlayerDatabase found = findPlayerDatabase(m_fs, m_playerDrive);
    m_files.database = found.plain;
    m_files.compressed = found.compressed;
    return found.found();
}

ReadOutcome DatabaseReader::read(TrackTable &table, const WalkProgress &progress,
                                 const InflateLimits &limits)
{
    ReadOutcome outcome;
    outcome.status = ReadStatus::Unreadable;
    StagedDatabase staged = startStaging(m_fs, m_files, limits);
    // The work files as made (under other names when those were taken), for removing them.
    m_files = staged.files;
    m_made = std::move(staged.made);
    outcome.inflate = staged.status;
    if (!staged.readable())
        return outcome; // staging has removed them
    const std::span<const std::uint8_t> database = staged.bytes();
    // A full disk stops the walk at the next track: its error is what the caller reports.
    outcome.walk = walkDatabase(database, table, [&](int j, int n) {
        staged.raiseIfWritingFailed();
        if (progress)
            progress(j, n);
    });
    if (outcome.walk.complete()) {
        outcome.playlists = readPlaylists(database, table);
        outcome.status = ReadStatus::Read;
    }
    staged.finish();
    return outcome;
}

void DatabaseReader::removeWorkFiles()
{
    m_made.remove(m_fs);
}

void DatabaseReader::discardWorkFiles() noexcept
{
    m_made.discard(m_fs);
}

ReadOutcome readPlayer(DatabaseReader &reader, TrackTable &table, const WalkProgress &progress,
                       const std::function<void()> &found)
{
    if (!reader.find())
        return {};
    if (found)
        found();
    const ReadOutcome outcome = reader.read(table, progress);
    mergePlayerPlayCounts(reader.fileSystem(), reader.playerDrive(), outcome, table);
    readPlayerArtwork(reader.fileSystem(), reader.playerDrive(), outcome, table);
    return outcome;
}

} // namespace sondrel
