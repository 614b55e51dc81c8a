#pragma once

#include <QObject>

#include <functional>
#include <vector>

namespace sondrel {

class TrackGrid;

// The widths of the track grid's columns: each as the user left it (dragging a border),
// and Title, Artist and Album widened by equal shares of the width the window has grown
// by. Widths are in pixels, from the first data column (the mark column) on.
class GridColumns : public QObject
{
public:
    // `changed` is called after each change the user makes.
    GridColumns(TrackGrid *grid, std::function<void()> changed);

    // Takes the grid's present widths as the user's, then the kept ones where they are
    // set (not 0); call once the grid has its columns.
    void restore(const std::vector<int> &kept);
    // Shares `pixels` of extra width among Title, Artist and Album.
    void setExtraWidth(int pixels);

    // The widths as the user set them, without the shares, as they are kept (at least
    // one pixel each).
    std::vector<int> widths() const;

private:
    int shareOf(int section) const;
    void apply();
    void resized(int section, int newSize);

    TrackGrid *m_grid;
    std::function<void()> m_changed;
    // A growing column dragged narrower than its share has a width below its share here,
    // so that the border stays where the user left it.
    std::vector<int> m_widths;
    int m_extra = 0;
    bool m_applying = false;
};

} // namespace sondrel
