#pragma once

#include <QString>
#include <QWidget>

#include "installprocedure.h"

class QCheckBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace sondrel::setup {

// VemoSetup's window: the installation directory, the shortcut choices and the buttons
// that install, change the directory, finish and cancel. Closing it ends the installer.
class FrmMain : public QWidget
{
    Q_OBJECT

public:
    explicit FrmMain(SetupServices services = {}, QWidget *parent = nullptr);
    ~FrmMain() override;

    // The installation directory; it always ends with the platform's separator.
    QString DfltInstallDir;

    const SetupServices &services() const { return m_services; }

    QLabel *Image1;
    QLabel *Label1;
    QFrame *Line1;
    QLabel *Label2;
    QPushButton *BtnChgDir;
    QLineEdit *TxtInstallDir;
    QFrame *Line2;
    QLabel *Label3;
    QCheckBox *ChkStartMenu;
    QCheckBox *ChkDesktop;
    QFrame *Line3;
    QPushButton *BtnInstall;
    QPushButton *BtnCancel;
    QFrame *Line4;
    QGroupBox *Frame1;
    QCheckBox *ChkFinish;
    QPushButton *BtnFinish;

private:
    void buildControls();
    void setTabOrder();
    void changeDirectory();
    void install();
    void finish();

    SetupServices m_services;
};

} // namespace sondrel::setup
