#pragma once

#include <QString>
#include <QWidget>

#include "namefields.h"
#include "services.h"
#include "tracktable.h"

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace sondrel {

class RoundedOutline;
class TrackGrid;

// Sondrel's main window: the three settings, the track grid, the totals and the
// export buttons. It owns the settings and the track table for the whole run.
class FrmMain : public QWidget
{
    Q_OBJECT

public:
    explicit FrmMain(Services services = {}, QWidget *parent = nullptr);
    ~FrmMain() override;

    // Settings; both paths always end with the platform's separator.
    QString DfltDrive;
    QString DfltDir;
    QString ExpName;

    // Empties the grid, zeroes the totals, disables selection and export.
    void ResetTrackList();

    TrackTable &trackTable() { return m_trackTable; }
    const TrackTable &trackTable() const { return m_trackTable; }
    // The export-name fields as the hidden list holds them, in list order.
    NameFields nameFields() const;
    void setNameFields(const NameFields &fields);
    const Services &services() const { return m_services; }

    // Settings area.
    RoundedOutline *Shape1;
    QPushButton *BtnChangeDfltDrive;
    QLineEdit *TxtDfltDrive;
    QPushButton *BtnChangeDfltDir;
    QLineEdit *TxtDfltDir;
    QPushButton *BtnChangeExpName;
    QLineEdit *TxtExpName;
    QPushButton *BtnUpdate;
    QListWidget *ListFields;
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

private:
    void buildSettingsArea();
    void buildTrackArea();
    void buildExportArea();
    void setTabOrder();
    void connectActions();
    void startUp();

    Services m_services;
    TrackTable m_trackTable;
};

} // namespace sondrel
