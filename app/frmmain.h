#pragma once

#include <QString>
#include <QWidget>

#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "appstate.h"
#include "controls.h"
#include "keptsettings.h"
#include "services.h"
#include "trackfinder.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace sondrel {

class CoverView;
class GridColumns;
class WindowPlace;
class RoundedOutline;
class TrackGrid;

// Sondrel's main window: the three settings, the track grid with its find row, the
// totals and the export buttons. It owns the state of the run (settings, track table,
// marks) and shows it: every change of the state is drawn into the controls that show
// it. It starts with the settings the user chose in earlier runs and keeps each new
// choice (export directory, names and options, its place and size, column widths) in
// `kept` (the program gives it the user's own settings).
class FrmMain : public QWidget
{
    Q_OBJECT

public:
    FrmMain(Services services, std::unique_ptr<KeptSettings> kept, QWidget *parent = nullptr);
    ~FrmMain() override;

    AppState &state() { return m_state; }
    const AppState &state() const { return m_state; }
    TrackTable &trackTable() { return m_state.tracks(); }
    const TrackTable &trackTable() const { return m_state.tracks(); }
    const Services &services() const { return m_services; }
    // What the find row shows of the track table.
    TrackFinder &finder() { return m_finder; }
    const TrackFinder &finder() const { return m_finder; }

    // Empties the grid, clears the marks and totals, disables selection and export.
    void ResetTrackList();

    // An export run begins (`stop` cancels it and returns once it has ended) or, with an
    // empty function, is over. During a run the buttons that change the player, the
    // export directory, the names, the table or the marks are disabled, and closing the
    // window stops the run first.
    void setExportRunning(std::function<void()> stop);
    bool exportRunning() const { return bool(m_stopExport); }

Q_SIGNALS:
    // An export run has ended and its closing messages have been shown.
    void exportEnded();

public:
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
    QLabel *LblFind;
    QLineEdit *TxtFind;
    QLabel *LblShow;
    QComboBox *CboPlaylist;
    TrackGrid *MSFlexGridSoundList;
    CoverView *ImgCover;
    QLabel *Label2;
    QLabel *LblStatusiPod;
    QLabel *LblShown;
    QPushButton *BtnMarkShown;
    QPushButton *BtnUnmarkShown;
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
    void resizeEvent(QResizeEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildSettingsArea();
    void buildTrackArea();
    void buildExportArea();
    void anchorControls();
    void setTabOrder();
    void connectActions();
    void connectFindKeys();
    void showState();
    void showTotals();
    void showCover();
    void startUp();

    Services m_services;
    std::unique_ptr<KeptSettings> m_kept;
    AppState m_state;
    TrackFinder m_finder;
    Anchors m_anchors;
    GridColumns *m_columns = nullptr;
    WindowPlace *m_place = nullptr;
    std::function<void()> m_stopExport;
    std::vector<std::pair<QWidget *, bool>> m_lockedDuringExport; // and their states before
};

} // namespace sondrel
