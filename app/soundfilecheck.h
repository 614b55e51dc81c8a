#pragma once

#include <QString>
#include <QtGlobal>

#include <array>
#include <cstddef>
#include <cstdint>

namespace sondrel {

class FrmMain;
class TrackTable;

// The "Check for sound files" action: stages the player's database in the export
// directory, walks it into the window's track table, fills the grid and reports the
// count and the time taken. Every path removes the two work files it created; a
// platform failure shows the run-time error report and leaves the window usable.
void checkForSoundFiles(FrmMain &window);

// The texts of grid columns 2 to 15 for track j: ID, title, artist, album, genre,
// comment, duration ("hh:mm:ss", or "N.A." when negative), size in Kb in the
// "Standard" form, file type, track number, disc number, year (the three numbers plain,
// empty when not set), album artist, composer.
constexpr std::size_t GridCells = 14;
std::array<QString, GridCells> gridCells(const TrackTable &table, int j);

// The duration cell for a number of milliseconds.
QString durationCell(std::int32_t milliseconds);
// The size cell for a number of bytes: Kb rounded to two decimals, digits grouped.
QString sizeCell(std::uint64_t bytes);
// The cell of a track, disc or year number: plain decimal, empty for 0 (not set).
QString numberCell(std::uint32_t number);

// Decides which progress captions are painted: the first one, then at most one per
// interval, and always the last ("(n of n)"), so that painting never slows the walk.
class ProgressPacer
{
public:
    explicit ProgressPacer(qint64 intervalMs = 50) : m_interval(intervalMs) {}
    // True when the caption for track j of n is to be shown at `nowMs` (a monotonic clock).
    bool due(int j, int n, qint64 nowMs);

private:
    qint64 m_interval;
    qint64 m_last = 0;
    bool m_shown = false;
};

} // namespace sondrel
