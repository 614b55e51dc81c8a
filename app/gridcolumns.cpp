#include "gridcolumns.h"

#include "keptsettings.h"
#include "trackgrid.h"

#include <QEvent>
#include <QHeaderView>

#include <algorithm>
#include <iterator>

namespace sondrel {

namespace {

// The columns that take the extra width, as header sections (grid columns 3 to 5).
constexpr int Growing[] = {2, 3, 4};

} // namespace

GridColumns::GridColumns(TrackGrid *grid, KeptSettings &kept)
    : QObject(grid), m_grid(grid), m_kept(kept)
{
    const QHeaderView *header = grid->horizontalHeader();
    const std::vector<int> widths = kept.columnWidths();
    m_widths.assign(std::size_t(header->count()), 0);
    for (int section = 0; section < header->count(); ++section) {
        const std::size_t i = std::size_t(section);
        m_widths[i] = i < widths.size() && widths[i] > 0 ? widths[i] : header->sectionSize(section);
    }
    apply();

    m_soon.setSingleShot(true);
    m_soon.setInterval(300);
    connect(&m_soon, &QTimer::timeout, this, [this] { m_kept.setColumnWidths(this->widths()); });
    connect(header, &QHeaderView::sectionResized, this,
            [this](int section, int, int newSize) { resized(section, newSize); });
    grid->window()->installEventFilter(this);
}

bool GridColumns::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_grid->window() && event->type() == QEvent::Close && m_soon.isActive()) {
        m_soon.stop();
        m_kept.setColumnWidths(widths());
    }
    return false;
}

std::vector<int> GridColumns::widths() const
{
    std::vector<int> kept = m_widths;
    for (int &width : kept)
        width = std::max(width, 1);
    return kept;
}

void GridColumns::setExtraWidth(int pixels)
{
    m_extra = std::max(pixels, 0);
    apply();
}

int GridColumns::shareOf(int section) const
{
    const auto at = std::find(std::begin(Growing), std::end(Growing), section);
    if (at == std::end(Growing))
        return 0;
    // The pixels that do not divide evenly go to the first columns.
    const int n = int(std::size(Growing));
    const int index = int(at - std::begin(Growing));
    return m_extra / n + (index < m_extra % n ? 1 : 0);
}

void GridColumns::apply()
{
    QHeaderView *header = m_grid->horizontalHeader();
    m_applying = true;
    for (int section = 0; section < header->count() && section < int(m_widths.size()); ++section)
        header->resizeSection(section,
                              std::max(m_widths[std::size_t(section)] + shareOf(section), 1));
    m_applying = false;
}

void GridColumns::resized(int section, int newSize)
{
    if (m_applying || section < 0)
        return;
    const QHeaderView *header = m_grid->horizontalHeader();
    while (m_widths.size() <= std::size_t(section)) // columns added since the widths were read
        m_widths.push_back(header->sectionSize(int(m_widths.size())));
    m_widths[std::size_t(section)] = newSize - shareOf(section);
    m_soon.start();
}

} // namespace sondrel
