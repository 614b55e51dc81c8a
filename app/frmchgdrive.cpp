#include "frmchgdrive.h"

#include "controls.h"
#include "frmchgdir.h"
#include "frmmain.h"
#include "platformerror.h"

#include <QComboBox>
#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace sondrel {

namespace {

bool isDriveLetter(const QString &designation)
{
    return designation.size() >= 2 && designation.at(0).isLetter() &&
           designation.at(1) == QLatin1Char(':');
}

// Drive designations compare without letter case ("c:" is "C:"); mount points with it.
bool sameDrive(const QString &a, const QString &b)
{
    if (isDriveLetter(a) && isDriveLetter(b))
        return a.compare(b, Qt::CaseInsensitive) == 0;
    return a == b;
}

} // namespace

QString driveSetting(const Volumes &volumes, const Drive &drive)
{
    const QString root = QString::fromStdString(volumes.driveRoot(drive));
    return isDriveLetter(root) ? root.toUpper() : root;
}

FrmChgDrive::FrmChgDrive(FrmMain *main) : ClassicDialog(main), m_main(main)
{
    setObjectName(QStringLiteral("FrmChgDrive"));
    setWindowTitle(QStringLiteral("Sondrel"));
    setWindowFlags(classicWindowFlags(WindowKind::Dialog));
    setFont(msSansSerif());
    sizeTwips(this, 4680, 1425);

    Label1 = makeControl<QLabel>(this, "Label1",
                                 QStringLiteral("Choose the drive where iPod is connected"));
    placeTwips(Label1, 120, 120, 4455, 255);

    // The drive list leaves room at its right for "Other folder...".
    Drive1 = makeControl<QComboBox>(this, "Drive1");
    placeTwips(Drive1, 120, 480, 3015, 315);

    BtnOtherFolder = makeButton(this, "BtnOtherFolder", QStringLiteral("Other folder..."));
    placeTwips(BtnOtherFolder, 3240, 450, 1335, 375);

    BtnOK = makeButton(this, "BtnOK", QStringLiteral("OK"));
    placeTwips(BtnOK, 919, 960, 1215, 375);

    BtnCancel = makeButton(this, "BtnCancel", QStringLiteral("Cancel"));
    placeTwips(BtnCancel, 2546, 960, 1215, 375);

    QWidget::setTabOrder(Drive1, BtnOtherFolder);
    QWidget::setTabOrder(BtnOtherFolder, BtnCancel);
    QWidget::setTabOrder(BtnCancel, BtnOK);
    Drive1->setFocus();

    connect(BtnOK, &QPushButton::clicked, this, &FrmChgDrive::confirm);
    connect(BtnCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(BtnOtherFolder, &QPushButton::clicked, this, &FrmChgDrive::chooseOtherFolder);

    refreshDrives();
}

// Fills the list with the machine's drives. The drive shown keeps its place when it is
// still there; otherwise (and at the first filling) the list shows the drive that holds
// the working directory, or the first drive.
void FrmChgDrive::refreshDrives()
{
    const std::unique_ptr<Volumes> fs = m_main->services().fileSystem();
    if (!fs)
        return;
    const QString shown = Drive1->currentIndex() >= 0 ? Drive1->currentText() : QString();
    const QString workingDrive = QString::fromStdString(
        fs->driveOf(QDir::toNativeSeparators(QDir::currentPath()).toStdString()));

    const std::vector<Drive> drives = fs->drives();

    Drive1->clear();
    int keep = -1;
    int working = -1;
    for (const Drive &drive : drives) {
        const QString path = QString::fromStdString(drive.path);
        if (keep < 0 && !shown.isEmpty() && sameDrive(path, shown))
            keep = Drive1->count();
        if (working < 0 && sameDrive(path, workingDrive))
            working = Drive1->count();
        Drive1->addItem(path, driveSetting(*fs, drive));
    }
    Drive1->setCurrentIndex(keep >= 0 ? keep : working >= 0 ? working : 0);
}

void FrmChgDrive::confirm()
{
    // With no drive in the list there is nothing to choose, and the setting stays.
    if (Drive1->currentIndex() >= 0) {
        m_main->state().setPlayerDrive(Drive1->currentData().toString());
    }
    accept();
}

// The directory dialog opens at the folder chosen last (the player drive, when it is a
// folder that is still there; else the working directory). Its Cancel comes back here.
void FrmChgDrive::chooseOtherFolder()
{
    const QString current = m_main->state().playerDrive();
    const QString start = QFileInfo(current).isDir() ? current : QDir::currentPath();
    bool chosen = false;
    FrmChgDir dialog(
        QStringLiteral("Choose the folder that holds the player"), start,
        [this, &chosen](const QString &folder) {
            m_main->state().setPlayerDrive(folder);
            chosen = true;
        },
        this);
    dialog.exec();
    if (chosen)
        accept();
}

bool FrmChgDrive::event(QEvent *event)
{
    if (event->type() == QEvent::WindowActivate) {
        // A failure to read the drives again leaves the list as it was.
        try {
            refreshDrives();
        } catch (const PlatformError &) {
        }
    }
    return QDialog::event(event);
}

} // namespace sondrel
