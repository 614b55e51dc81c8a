#pragma once

#include "trackcolumns.h"
#include "trackgridsource.h"

#include <QString>
#include <QtGlobal>

#include <cstdint>

namespace sondrel {

class FrmMain;
class TrackTable;

// The "Check for sound files" action: reads the player's database into the window's
// track table (staging it in the export directory), shows the table in the grid and
// reports the count and the time taken. Every path removes the two work files it
// created; a platform failure shows the run-time error report and leaves the window
// usable.
void checkForSoundFiles(FrmMain &window);

// Shows the window's track table in the grid, one row per track in table order, and
// leaves the current cell on the last row, column 10 ("File Type").
void fillTrackGrid(FrmMain &window);

// The track table as the grid shows it: source row j - 1 is track j, and its columns are
// the track columns (trackColumnText), the player's history among them. Each text is made
// when the grid asks for it; the ID, the numbers and the history sort by their values
// without being written out, empty first.
class TrackTableCells : public TrackGridSource
{
public:
    explicit TrackTableCells(const TrackTable &table) : m_table(table) {}

    int rows() const override;
    QString text(int row, int col) const override;
    bool sortKey(int row, int col, GridSortKey &key) const override;

private:
    const TrackTable &m_table;
};

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
