#include "frmmain.h"

#include "exportaction.h"
#include "frmabout.h"
#include "frmchgdir.h"
#include "frmchgdrive.h"
#include "frmchgexpname.h"
#include "messages.h"
#include "opendirectory.h"
#include "roundedoutline.h"
#include "selection.h"
#include "selectionaction.h"
#include "soundfilecheck.h"
#include "startupsettings.h"
#include "trackgrid.h"
#include "ui.h"
#include "wrapbutton.h"

#include <QCloseEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace sondrel {

namespace {

QLabel *borderedLabel(QWidget *parent, const char *name, const QString &text)
{
    auto *label = makeControl<QLabel>(parent, name, text);
    label->setFrameStyle(QFrame::Box | QFrame::Plain);
    return label;
}

const char *const GridHeaders[] = {
    "",         "X",         "ID",        "Title", "Artist", "Album", "Genre",        "Comment",
    "Duration", "Size (Kb)", "File Type", "Track", "Disc",   "Year",  "Album Artist", "Composer"};

} // namespace

FrmMain::FrmMain(Services services, QWidget *parent)
    : QWidget(parent), m_services(std::move(services))
{
    setObjectName(QStringLiteral("FrmMain"));
    setWindowTitle(QStringLiteral("Sondrel"));
    setWindowFlags(classicWindowFlags(WindowKind::Main));
    setFont(tahoma());
    sizeTwips(this, 11625, 8070);
    // The client area, not the frame, sits at its stored place on the screen.
    setGeometry(QRect(QPoint(twips(165), twips(450)), size()));

    buildSettingsArea();
    buildTrackArea();
    buildExportArea();
    setTabOrder();
    connectActions();
    showState();
    startUp();
}

FrmMain::~FrmMain() = default;

void FrmMain::buildSettingsArea()
{
    Shape1 = new RoundedOutline(QColor(0, 64, 64), this);
    Shape1->setObjectName(QStringLiteral("Shape1"));
    placeTwips(Shape1, 120, 120, 5655, 1215);

    BtnChangeDfltDrive = makeButton(this, "BtnChangeDfltDrive", QStringLiteral("iPod Drive"));
    placeTwips(BtnChangeDfltDrive, 240, 240, 1455, 285);
    TxtDfltDrive = makeSettingBox(this, "TxtDfltDrive", QStringLiteral("E:\\"));
    placeTwips(TxtDfltDrive, 1800, 240, 3855, 285);

    BtnChangeDfltDir = makeButton(this, "BtnChangeDfltDir", QStringLiteral("Export directory"));
    placeTwips(BtnChangeDfltDir, 240, 600, 1455, 285);
    TxtDfltDir = makeSettingBox(this, "TxtDfltDir", QStringLiteral("C:\\"));
    placeTwips(TxtDfltDir, 1800, 600, 3855, 285);

    BtnChangeExpName = makeButton(this, "BtnChangeExpName", QStringLiteral("Export name"));
    placeTwips(BtnChangeExpName, 240, 960, 1455, 285);
    TxtExpName = makeSettingBox(this, "TxtExpName", QStringLiteral("Genre_Artist_Title_Album_ID"));
    placeTwips(TxtExpName, 1800, 960, 3855, 285);

    BtnUpdate = makeButton(this, "BtnUpdate", QStringLiteral("Check for sound files"));
    placeTwips(BtnUpdate, 6000, 360, 1095, 675);

    BtnHelp = makeButton(this, "BtnHelp", QStringLiteral("?"));
    BtnHelp->setFont(tahoma(9.75, true));
    placeTwips(BtnHelp, 10440, 120, 375, 375);

    BtnExit = makeButton(this, "BtnExit", QStringLiteral("Exit"));
    placeTwips(BtnExit, 10200, 720, 855, 495);
}

void FrmMain::buildTrackArea()
{
    FrameiPod = makeControl<QGroupBox>(this, "FrameiPod", QStringLiteral("  iPod sound files  "));
    placeTwips(FrameiPod, 120, 1440, 11415, 5295);

    MSFlexGridSoundList = makeControl<TrackGrid>(FrameiPod, "MSFlexGridSoundList");
    placeTwips(MSFlexGridSoundList, 120, 240, 11175, 4575);

    Label2 = makeControl<QLabel>(FrameiPod, "Label2", QStringLiteral(" iPod :"));
    Label2->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    placeTwips(Label2, 360, 4920, 495, 255);

    LblStatusiPod = makeControl<QLabel>(FrameiPod, "LblStatusiPod", QStringLiteral(" Updating..."));
    placeTwips(LblStatusiPod, 960, 4920, 3495, 255);
    LblStatusiPod->hide();
    styleAsFrame(FrameiPod);

    // On the window itself, over the frame, at the right of the status line.
    BtnSelSound = makeButton(this, "BtnSelSound", QStringLiteral("(Un)&Select file"));
    BtnSelSound->setFont(tahoma(6.75));
    placeTwips(BtnSelSound, 9840, 6360, 1095, 195);
    BtnSelSound->setEnabled(false);
    BtnSelSound->raise();
}

void FrmMain::buildExportArea()
{
    FrameExport = makeControl<QGroupBox>(this, "FrameExport", QStringLiteral("  Export files  "));
    placeTwips(FrameExport, 120, 6840, 11415, 1095);

    Label3 = makeControl<QLabel>(FrameExport, "Label3", QStringLiteral(" Export :"));
    Label3->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    placeTwips(Label3, 120, 240, 735, 255);

    LblSelFilesNum = borderedLabel(FrameExport, "LblSelFilesNum", QStringLiteral(" 0 file(s) selected"));
    placeTwips(LblSelFilesNum, 960, 240, 1935, 255);
    LblSelFilesSize = borderedLabel(FrameExport, "LblSelFilesSize", QStringLiteral(" 0 Kb = 0 Mb = 0 Gb"));
    placeTwips(LblSelFilesSize, 3000, 240, 3615, 255);
    LblSelFilesDur = borderedLabel(FrameExport, "LblSelFilesDur", QStringLiteral(" 00:00:00 hh:mm:ss"));
    placeTwips(LblSelFilesDur, 6720, 240, 1935, 255);

    LblSelFilesNumI = makeControl<QLabel>(FrameExport, "LblSelFilesNumI", QStringLiteral("0"));
    placeTwips(LblSelFilesNumI, 960, 480, 375, 255);
    LblSelFilesSizeI = makeControl<QLabel>(FrameExport, "LblSelFilesSizeI", QStringLiteral("0"));
    placeTwips(LblSelFilesSizeI, 3000, 480, 1335, 255);
    LblSelFilesDurI = makeControl<QLabel>(FrameExport, "LblSelFilesDurI", QStringLiteral("0"));
    placeTwips(LblSelFilesDurI, 6720, 600, 1335, 255);
    for (QLabel *hidden : {LblSelFilesNumI, LblSelFilesSizeI, LblSelFilesDurI})
        hidden->hide();

    LblStatusExport = makeControl<QLabel>(FrameExport, "LblStatusExport", QStringLiteral(" Status export"));
    placeTwips(LblStatusExport, 240, 720, 7455, 255);

    BtnExport = makeButton(FrameExport, "BtnExport", QStringLiteral("Export selected file(s)"));
    placeTwips(BtnExport, 9000, 240, 2055, 375);
    BtnExport->setEnabled(false);

    BtnOpenDir = makeButton(FrameExport, "BtnOpenDir", QStringLiteral("Open export directory"));
    placeTwips(BtnOpenDir, 9000, 720, 2055, 255);
    styleAsFrame(FrameExport);
}

void FrmMain::setTabOrder()
{
    QWidget *const order[] = {BtnChangeDfltDrive, TxtDfltDrive, BtnChangeDfltDir, TxtDfltDir,
                              BtnChangeExpName,   TxtExpName,   BtnUpdate,        BtnHelp,
                              BtnExit,            BtnSelSound,  MSFlexGridSoundList,
                              BtnExport,          BtnOpenDir};
    for (std::size_t i = 1; i < std::size(order); ++i)
        QWidget::setTabOrder(order[i - 1], order[i]);
    BtnChangeDfltDrive->setFocus();
}

void FrmMain::connectActions()
{
    connect(BtnExit, &QPushButton::clicked, this, &QWidget::close);
    // The settings dialogs: modal, made afresh at each opening; the focus comes back here.
    const auto backToMain = [this] {
        activateWindow();
        update();
    };
    connect(BtnChangeDfltDrive, &QPushButton::clicked, this, [this, backToMain] {
        runGuarded(this, [this] {
            FrmChgDrive dialog(this);
            dialog.exec();
        });
        backToMain();
    });
    connect(BtnChangeDfltDir, &QPushButton::clicked, this, [this, backToMain] {
        runGuarded(this, [this] {
            FrmChgDir dialog(
                QStringLiteral("Choose the default directory to export"), m_state.DfltDir(),
                [this](const QString &directory) { m_state.setDfltDir(directory); }, this);
            dialog.exec();
        });
        backToMain();
    });
    connect(BtnChangeExpName, &QPushButton::clicked, this, [this, backToMain] {
        FrmChgExpName dialog(this);
        dialog.exec();
        backToMain();
    });
    connect(BtnHelp, &QPushButton::clicked, this, [this, backToMain] {
        FrmAbout about(this);
        about.exec();
        backToMain();
    });
    connect(BtnUpdate, &QPushButton::clicked, this, [this] { checkForSoundFiles(*this); });
    connect(BtnOpenDir, &QPushButton::clicked, this, [this] { openExportDirectory(*this); });
    connect(BtnSelSound, &QPushButton::clicked, this, [this] { toggleSelectedRows(*this); });
    connect(MSFlexGridSoundList, &TrackGrid::DblClick, this, [this] { sortTrackGrid(*this); });
    connect(BtnExport, &QPushButton::clicked, this, [this] { exportSelectedFiles(*this); });
}

// The controls that show the state follow it: the settings' text boxes and the totals.
void FrmMain::showState()
{
    connect(&m_state, &AppState::dfltDriveChanged, TxtDfltDrive, &QLineEdit::setText);
    connect(&m_state, &AppState::dfltDirChanged, TxtDfltDir, &QLineEdit::setText);
    connect(&m_state, &AppState::nameFieldsChanged, this, [this] {
        const std::unique_ptr<FileSystem> fs = m_services.fileSystem();
        TxtExpName->setText(shownExpName(m_state.ExpName(), m_state.exportOptions(),
                                         fs ? fs->separator() : '/'));
    });
    connect(&m_state, &AppState::marksChanged, this, &FrmMain::showTotals);
}

// The hidden labels hold the raw totals; the shown ones their captions.
void FrmMain::showTotals()
{
    const SelectionTotals &totals = m_state.totals();
    LblSelFilesNumI->setText(QString::number(totals.count));
    LblSelFilesSizeI->setText(QString::number(totals.bytes));
    LblSelFilesDurI->setText(QString::number(totals.milliseconds));
    LblSelFilesNum->setText(filesCaption(totals.count));
    LblSelFilesSize->setText(sizeCaption(totals.bytes));
    LblSelFilesDur->setText(durationCaption(totals.milliseconds));
}

// The start-up sequence: the path settings, the grid's header, the name fields.
void FrmMain::startUp()
{
    LblStatusExport->hide();

    const PlatformDefaults defaults = platformDefaults();
    StartUpSettings settings{defaults.playerDrive, defaults.exportDirectory};
    if (const std::unique_ptr<FileSystem> fs = m_services.fileSystem())
        settings = startUpSettings(startUpFacts(*fs));
    m_state.setDfltDir(QString::fromStdString(settings.dfltDir));
    m_state.setDfltDrive(QString::fromStdString(settings.dfltDrive));

    TrackGrid *grid = MSFlexGridSoundList;
    grid->setFixedRows(1);
    grid->setRows(1);
    grid->setCols(int(std::size(GridHeaders)));
    grid->setRow(0);
    for (int c = 1; c < grid->Cols(); ++c) {
        grid->setCol(c);
        grid->setText(QLatin1String(GridHeaders[c]));
    }
    grid->setColWidth(0, 150);
    grid->setColWidth(1, 200);
    grid->setColWidth(2, 550);

    // All five name fields are chosen: the state starts with them so.
    update();
}

void FrmMain::setExportRunning(std::function<void()> stop)
{
    const bool running = bool(stop);
    m_stopExport = std::move(stop);
    if (running && m_lockedDuringExport.empty()) {
        for (QWidget *control : std::initializer_list<QWidget *>{
                 BtnChangeDfltDrive, BtnChangeDfltDir, BtnChangeExpName, BtnUpdate, BtnSelSound,
                 BtnExport}) {
            m_lockedDuringExport.emplace_back(control, control->isEnabled());
            control->setEnabled(false);
        }
    } else if (!running) {
        for (const auto &[control, enabled] : m_lockedDuringExport)
            control->setEnabled(enabled);
        m_lockedDuringExport.clear();
    }
}

void FrmMain::closeEvent(QCloseEvent *event)
{
    if (m_stopExport)
        m_stopExport(); // cancels the run and waits for its end
    QWidget::closeEvent(event);
}

void FrmMain::ResetTrackList()
{
    LblStatusiPod->hide();
    MSFlexGridSoundList->setRows(1);
    m_state.clearMarks();
    BtnSelSound->setEnabled(false);
    BtnExport->setEnabled(false);
}

} // namespace sondrel
