#pragma once

#include <QObject>
#include <QTimer>

#include <vector>

namespace sondrel {

class KeptSettings;
class TrackGrid;

// The widths of the track grid's columns: each as the user left it (dragging a border),
// and Title, Artist and Album widened by equal shares of the width the window has grown
// by. Widths are in pixels, from the first data column (the mark column) on. Made once
// the grid has its columns, it takes the kept widths (those set) over the grid's, and
// keeps each width the user sets a moment after the drag, and at the latest when the
// window is closed.
class GridColumns : public QObject
{
public:
    GridColumns(TrackGrid *grid, KeptSettings &kept);

    // Shares `pixels` of extra width among Title, Artist and Album.
    void setExtraWidth(int pixels);

    // The widths as the user set them, without the shares, as they are kept (at least
    // one pixel each).
    std::vector<int> widths() const;

protected:
    // The window's closing.
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    int shareOf(int section) const;
    void apply();
    void resized(int section, int newSize);

    TrackGrid *m_grid;
    KeptSettings &m_kept;
    QTimer m_soon;
    // A growing column dragged narrower than its share has a width below its share here,
    // so that the border stays where the user left it.
    std::vector<int> m_widths;
    int m_extra = 0;
    bool m_applying = false;
};

} // namespace sondrel
