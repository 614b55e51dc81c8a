#pragma once

#include "classicdialog.h"

#include "filesystem.h"

#include <QDialog>
#include <QString>

class QComboBox;
class QLabel;
class QPushButton;

namespace sondrel {

class FrmMain;

// The setting a drive gives: its root, the drive's path followed by one separator.
// A drive letter is upper-cased ("e:" gives "E:\"); a mount point keeps its case.
QString driveSetting(const Volumes &volumes, const Drive &drive);

// The drive dialog: chooses the drive on which the player is mounted and writes its
// root into the main window's player drive on OK. The list starts on
// the drive that holds the working directory and is read again at each activation.
// "Other folder..." chooses any folder instead (a player copied to disk, a mounted disk
// image) in the directory dialog; its OK makes that folder the player drive and closes
// this dialog too.
class FrmChgDrive : public ClassicDialog
{
    Q_OBJECT

public:
    explicit FrmChgDrive(FrmMain *main);

    QLabel *Label1;
    QComboBox *Drive1;
    QPushButton *BtnOtherFolder;
    QPushButton *BtnOK;
    QPushButton *BtnCancel;

protected:
    // Each activation reads the drive list again from the system.
    bool event(QEvent *event) override;

private:
    void refreshDrives();
    void confirm();
    void chooseOtherFolder();

    FrmMain *m_main;
};

} // namespace sondrel
