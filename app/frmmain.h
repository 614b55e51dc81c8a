#pragma once

#include <QString>
#include <QWidget>

#include <functional>
#include <utility>
#include <vector>

#include "appstate.h"
#include "services.h"

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace sondrel {

class RoundedOutline;
class TrackGrid;

// Sondrel's main window: the three settings, the track grid, the totals and the
// export buttons. It owns the state of the run (settings, track table, marks) and
// shows it: every change of the state is drawn into the controls that show it.
class FrmMain : public QWidget
{
    Q_OBJECT

public:
    explicit FrmMain(Services services = {}, QWidget *parent = nullptr);
    ~FrmMain() override;

    AppState &state() { return m_state; }
    const AppState &state() const { return m_state; }
    TrackTable &trackTable() { return m_state.tracks(); }
    const TrackTable &trackTable() const { return m_state.tracks(); }
    const Services &services() const { return m_services; }

    // Empties the grid, clears the marks and totals, disables selection and export.
    void ResetTrackList();

    // An export run begins (`stop` cancels it and returns once it has ended) or, with an
    // empty function, is over. During a run the buttons that change the player, the
    // export directory, the names, the table or the marks are disabled, and closing the
    // window stops the run first.
    void setExportRunning(std::function<void()> stop);
    bool exportRunning() const { return bool(m_stopExport); }

    // Settings area.
    RoundedOutline *Shape1;
    QPushButton *BtnChangeDfltDrive;
    QLineEdit *TxtDfltDrive;
    QPushButton *BtnChangeDfltDir;
    QLineEdit *TxtDfltDir;
    QPushButton *BtnChangeExpName;
    QLineEdit *TxtExpName;
    QPushButton *BtnUpdate;
    QPushButton *BtnHelp;
    QPushButton *BtnExit;

    // Track area.
    QGroupBox *FrameiPod;
    TrackGrid *MSFlexGridSoundList;
    QLabel *Label2;
    QLabel *LblStatusiPod;
    QPushButton *BtnSelSound;

    // Export area.
    QGroupBox *FrameExport;
    QLabel *Label3;
    QLabel *LblSelFilesNum;
    QLabel *LblSelFilesSize;
    QLabel *LblSelFilesDur;
    QLabel *LblSelFilesNumI;
    QLabel *LblSelFilesSizeI;
    QLabel *LblSelFilesDurI;
    QLabel *LblStatusExport;
    QPushButton *BtnExport;
    QPushButton *BtnOpenDir;

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void buildSettingsArea();
    void buildTrackArea();
    void buildExportArea();
    void setTabOrder();
    void connectActions();
    void showState();
    void showTotals();
    void startUp();

    Services m_services;
    AppState m_state;
    std::function<void()> m_stopExport;
    std::vector<std::pair<QWidget *, bool>> m_lockedDuringExport; // and their states before
};

} // namespace sondrel
