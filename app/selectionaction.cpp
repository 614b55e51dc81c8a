#include "selectionaction.h"

#include "frmmain.h"
#include "numberformat.h"
#include "selection.h"
#include "trackgrid.h"

#include <QLabel>

namespace sondrel {

namespace {

enum { MarkColumn = 1, IdColumn = 2 };

class GridMarks : public MarkableRows
{
public:
    explicit GridMarks(TrackGrid &grid) : m_grid(grid) {}

    QString mark(int row) const override { return m_grid.TextMatrix(row, MarkColumn); }
    void setMark(int row, const QString &mark) override
    {
        m_grid.setTextMatrix(row, MarkColumn, mark);
    }
    QString id(int row) const override { return m_grid.TextMatrix(row, IdColumn); }

private:
    TrackGrid &m_grid;
};

} // namespace

void toggleSelectedRows(FrmMain &window)
{
    TrackGrid &grid = *window.MSFlexGridSoundList;
    const int rows = grid.Rows();
    if (rows <= 1) { // no data rows: nothing to mark, the totals stay
        grid.SetFocus();
        return;
    }
    // The hidden labels are the only store of the totals: read once, written once.
    SelectionTotals totals =
        SelectionTotals::fromTexts(window.LblSelFilesNumI->text(), window.LblSelFilesSizeI->text(),
                                   window.LblSelFilesDurI->text());
    {
        const TrackGrid::Batch batch(grid);
        GridMarks marks(grid);
        toggleMarks(marks, grid.Row(), grid.RowSel(), rows - 1, window.trackTable(), totals);
    }
    window.LblSelFilesNumI->setText(totals.countText());
    window.LblSelFilesSizeI->setText(totals.bytesText());
    window.LblSelFilesDurI->setText(totals.millisecondsText());
    grid.SetFocus();

    window.LblSelFilesNum->setText(filesCaption(window.LblSelFilesNumI->text()));
    window.LblSelFilesSize->setText(
        sizeCaption(parseGeneralNumber(window.LblSelFilesSizeI->text())));
    window.LblSelFilesDur->setText(
        durationCaption(parseGeneralNumber(window.LblSelFilesDurI->text())));
}

void sortTrackGrid(FrmMain &window)
{
    window.MSFlexGridSoundList->setSort(1);
}

} // namespace sondrel
