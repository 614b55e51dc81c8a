#include "exportaction.h"

#include "exportrun.h"
#include "filesystem.h"
#include "frmmain.h"
#include "messages.h"
#include "selectionaction.h"
#include "trackgrid.h"

#include <QLabel>

#include <optional>

namespace sondrel {

namespace {

// The export run's view of the main window.
class WindowExportHost : public ExportHost
{
public:
    explicit WindowExportHost(FrmMain &window) : m_window(window) {}

    void message(const QString &text) override { showMessage(&m_window, text); }
    void failure(const PlatformError &error) override { showRunTimeError(&m_window, error); }

    void setBusy(bool busy) override
    {
        if (busy)
            m_wait.emplace();
        else
            m_wait.reset();
    }

    void showStatus(const QString &text) override
    {
        QLabel *status = m_window.LblStatusExport;
        status->setText(text);
        status->show();
        status->repaint();
    }

    void clearStatus() override
    {
        m_window.LblStatusExport->setText(QString());
        m_window.repaint();
    }

private:
    FrmMain &m_window;
    std::optional<WaitCursor> m_wait;
};

} // namespace

void exportSelectedFiles(FrmMain &window)
{
    const std::unique_ptr<FileSystem> fs = window.services().fileSystem();
    if (!fs)
        return;
    const AppState &state = window.state();
    ExportRequest request;
    request.playerDrive = state.DfltDrive();
    request.exportDirectory = state.DfltDir();
    request.marked = markedTracksInGridOrder(window);
    request.totals = state.totals();
    request.fields = state.ListFields();
    WindowExportHost host(window);
    ExportRun(*fs, state.tracks(), host).run(request);
}

} // namespace sondrel
