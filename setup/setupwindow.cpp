#include "setupwindow.h"

#include "controls.h"
#include "frmchgdir.h"
#include "messages.h"
#include "wrapbutton.h"

#include <QCheckBox>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>

namespace sondrel::setup {

namespace {

// The colours of the classic Windows scheme that the title label is drawn in.
const QColor DesktopColour(58, 110, 165);
const QColor ActiveBorderColour(212, 208, 200);

// A single-pixel horizontal line from `left` to `right`, in twips.
QFrame *line(QWidget *parent, const char *name, int left, int top, int right)
{
    auto *frame = makeControl<QFrame>(parent, name);
    frame->setFrameShape(QFrame::HLine);
    frame->setFrameShadow(QFrame::Plain);
    frame->setLineWidth(1);
    frame->setGeometry(twips(left), twips(top), twips(right - left), 1);
    return frame;
}

} // namespace

FrmMain::FrmMain(SetupServices services, QWidget *parent)
    : QWidget(parent), m_services(std::move(services))
{
    setObjectName(QStringLiteral("FrmMain"));
    setWindowTitle(QStringLiteral("Sondrel installation"));
    setWindowFlags(classicWindowFlags(WindowKind::Main));
    setFont(tahoma());
    resize(twips(5775), twips(4935));

    buildControls();
    setTabOrder();

    connect(BtnChgDir, &QPushButton::clicked, this, &FrmMain::changeDirectory);
    connect(BtnInstall, &QPushButton::clicked, this, &FrmMain::install);
    connect(BtnFinish, &QPushButton::clicked, this, &FrmMain::finish);
    // The close box does what Cancel does: the window closes and the installer ends.
    connect(BtnCancel, &QPushButton::clicked, this, &QWidget::close);

    // Load: the default directory, nothing read from the disk.
    DfltInstallDir = QString::fromStdString(platformDefaults().installDirectory);
    TxtInstallDir->setText(DfltInstallDir);
}

FrmMain::~FrmMain() = default;

void FrmMain::buildControls()
{
    Image1 = makeControl<QLabel>(this, "Image1");
    Image1->setPixmap(QPixmap(QStringLiteral(":/logo.png")));
    placeTwips(Image1, 120, 120, 1350, 555);

    Label1 = makeControl<QLabel>(this, "Label1", QStringLiteral("installation"));
    Label1->setFont(tahoma(18, true));
    Label1->setAutoFillBackground(true);
    QPalette colours = Label1->palette();
    colours.setColor(QPalette::WindowText, DesktopColour);
    colours.setColor(QPalette::Window, ActiveBorderColour);
    Label1->setPalette(colours);
    placeTwips(Label1, 1560, 240, 2055, 495);

    Line1 = line(this, "Line1", 120, 720, 5640);

    Label2 = makeControl<QLabel>(
        this, "Label2", QStringLiteral(" Sondrel will be installed in the following directory:"));
    placeTwips(Label2, 360, 960, 4095, 255);

    BtnChgDir = makeButton(this, "BtnChgDir", QStringLiteral("Change"));
    placeTwips(BtnChgDir, 4680, 960, 855, 495);

    TxtInstallDir = makeSettingBox(this, "TxtInstallDir");
    placeTwips(TxtInstallDir, 360, 1200, 4215, 285);

    Line2 = line(this, "Line2", 120, 1680, 5640);

    Label3 = makeControl<QLabel>(this, "Label3", QStringLiteral("Create shortcuts ?"));
    placeTwips(Label3, 1140, 1920, 3495, 255);

    ChkStartMenu = makeControl<QCheckBox>(this, "ChkStartMenu", QStringLiteral("Start Menu"));
    placeTwips(ChkStartMenu, 1140, 2280, 1455, 255);
    ChkDesktop = makeControl<QCheckBox>(this, "ChkDesktop", QStringLiteral("Desktop"));
    placeTwips(ChkDesktop, 2940, 2280, 1695, 255);

    Line3 = line(this, "Line3", 120, 2760, 5520);

    BtnInstall = makeButton(this, "BtnInstall", QStringLiteral("Install Sondrel"));
    BtnInstall->setFont(tahoma(8.25, true));
    placeTwips(BtnInstall, 1080, 3000, 1335, 615);
    BtnCancel = makeButton(this, "BtnCancel", QStringLiteral("Cancel installation"));
    placeTwips(BtnCancel, 3360, 3000, 1335, 615);

    Line4 = line(this, "Line4", 120, 3840, 5520);

    Frame1 = makeControl<QGroupBox>(this, "Frame1", QStringLiteral(" Sondrel "));
    placeTwips(Frame1, 720, 3960, 4335, 855);
    ChkFinish = makeControl<QCheckBox>(Frame1, "ChkFinish", QStringLiteral("Start Sondrel"));
    placeTwips(ChkFinish, 240, 360, 1815, 375);
    BtnFinish = makeButton(Frame1, "BtnFinish", QStringLiteral("Finish installation"));
    placeTwips(BtnFinish, 2400, 240, 1695, 495);
    BtnFinish->setEnabled(false);
    styleAsFrame(Frame1);
}

void FrmMain::setTabOrder()
{
    QWidget *const order[] = {BtnChgDir, ChkStartMenu, ChkDesktop,    ChkFinish,
                              BtnFinish, BtnCancel,    TxtInstallDir, BtnInstall};
    for (std::size_t i = 1; i < std::size(order); ++i)
        QWidget::setTabOrder(order[i - 1], order[i]);
    BtnChgDir->setFocus();
}

void FrmMain::changeDirectory()
{
    runGuarded(this, [this] {
        FrmChgDir dialog(
            QStringLiteral("Choose the installation directory"), DfltInstallDir,
            [this](const QString &directory) {
                DfltInstallDir = directory;
                TxtInstallDir->setText(DfltInstallDir);
            },
            this);
        dialog.exec();
    });
    activateWindow();
    update();
}

void FrmMain::install()
{
    InstallProcedure::Outcome outcome = InstallProcedure::Outcome::FilesMissing;
    QString refusedFolder;
    const InstallRequest request{DfltInstallDir, ChkStartMenu->isChecked(),
                                 ChkDesktop->isChecked()};
    // A failed operation shows the run-time error report and ends only this attempt: the
    // user can choose another directory and install again.
    if (!runGuarded(this, [&] {
            // The hourglass while files move and the registration runs; it is gone before
            // any message shows.
            const WaitCursor hourglass;
            outcome = InstallProcedure(m_services).run(request, &refusedFolder);
        }))
        return;
    if (outcome == InstallProcedure::Outcome::FilesMissing) {
        showMessage(this, extractMessage());
        return;
    }
    if (outcome == InstallProcedure::Outcome::UnsafeFolder) {
        showMessage(this, unsafeFolderMessage(refusedFolder));
        return;
    }
    showMessage(this, successMessage());
    BtnFinish->setEnabled(true);
    // The files have left the working directory: a second press could only fail.
    BtnInstall->setEnabled(false);
}

void FrmMain::finish()
{
    // The program is started by its path as one argument, so that blanks in the
    // directory cannot split it, and for the user of the desktop with that user's rights,
    // never with the installer's. A failed start leaves the installer open.
    const bool done = runGuarded(this, [&] {
        if (ChkFinish->isChecked())
            m_services.desktopStarter()->startDetached(
                installedProgram(DfltInstallDir).toStdString(), {}, WindowStyle::Normal);
    });
    if (done)
        close();
}

} // namespace sondrel::setup
