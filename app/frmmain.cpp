#include "frmmain.h"

#include "controls.h"
#include "coverview.h"
#include "exportaction.h"
#include "findaction.h"
#include "frmabout.h"
#include "frmchgdir.h"
#include "frmchgdrive.h"
#include "frmchgexpname.h"
#include "gridcolumns.h"
#include "keptsettings.h"
#include "keptwindow.h"
#include "messages.h"
#include "opendirectory.h"
#include "roundedoutline.h"
#include "selectionaction.h"
#include "soundfilecheck.h"
#include "startupsettings.h"
#include "totals.h"
#include "trackcolumns.h"
#include "trackgrid.h"
#include "windowplace.h"
#include "wrapbutton.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>
#include <QTimer>

namespace sondrel {

namespace {

QLabel *borderedLabel(QWidget *parent, const char *name, const QString &text)
{
    auto *label = makeControl<QLabel>(parent, name, text);
    label->setFrameStyle(QFrame::Box | QFrame::Plain);
    return label;
}

// The window at its smallest: the classic window with the find row added above the grid,
// which moves everything below it down.
constexpr int FindRow = 360;
// The cover square at the right of the grid (128 pixels at 96 dpi) and the gap before it.
constexpr int CoverSide = 1920;
constexpr int CoverGap = 120;
constexpr int DesignedWidth = 11625;
constexpr int DesignedHeight = 8070 + FindRow;
} // namespace

FrmMain::FrmMain(Services services, std::unique_ptr<KeptSettings> kept, QWidget *parent)
    : QWidget(parent), m_services(std::move(services)), m_kept(std::move(kept))
{
    setObjectName(QStringLiteral("FrmMain"));
    setWindowTitle(QStringLiteral("Sondrel"));
    setWindowFlags(classicWindowFlags(WindowKind::SizableMain));
    setFont(tahoma());
    setMinimumSize(twips(DesignedWidth), twips(DesignedHeight));
    // The client area, not the frame, sits at its stored place on the screen.
    setGeometry(QRect(QPoint(twips(165), twips(450)), minimumSize()));

    buildSettingsArea();
    buildTrackArea();
    buildExportArea();
    anchorControls();
    setTabOrder();
    connectActions();
    connectFindKeys();
    showState();
    startUp();
    m_place = new WindowPlace(this, keptWindowGroup(*m_kept));
}

FrmMain::~FrmMain()
{
    // Both use the kept settings, which go before the window's children.
    delete m_place;
    delete m_columns;
}

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
    placeTwips(FrameiPod, 120, 1440, 11415, 5295 + FindRow);

    // The find row above the grid.
    LblFind = makeControl<QLabel>(FrameiPod, "LblFind", QStringLiteral("Find:"));
    LblFind->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    placeTwips(LblFind, 120, 240, 495, 285);
    TxtFind = makeControl<QLineEdit>(FrameiPod, "TxtFind");
    TxtFind->setClearButtonEnabled(true);
    LblFind->setBuddy(TxtFind);
    placeTwips(TxtFind, 660, 240, 3855, 285);
    LblShow = makeControl<QLabel>(FrameiPod, "LblShow", QStringLiteral("Show:"));
    LblShow->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    placeTwips(LblShow, 4680, 240, 615, 285);
    CboPlaylist = makeControl<QComboBox>(FrameiPod, "CboPlaylist");
    CboPlaylist->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    LblShow->setBuddy(CboPlaylist);
    placeTwips(CboPlaylist, 5340, 240, 3855, 285);

    MSFlexGridSoundList = makeControl<TrackGrid>(FrameiPod, "MSFlexGridSoundList");
    placeTwips(MSFlexGridSoundList, 120, 240 + FindRow, 11175 - CoverSide - CoverGap, 4575);
    ImgCover = new CoverView(FrameiPod);
    ImgCover->setObjectName(QStringLiteral("ImgCover"));
    ImgCover->setFont(tahoma());
    placeTwips(ImgCover, 11295 - CoverSide, 240 + FindRow, CoverSide, CoverSide);

    Label2 = makeControl<QLabel>(FrameiPod, "Label2", QStringLiteral(" iPod :"));
    Label2->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    placeTwips(Label2, 360, 4920 + FindRow, 495, 255);

    LblStatusiPod = makeControl<QLabel>(FrameiPod, "LblStatusiPod", QStringLiteral(" Updating..."));
    placeTwips(LblStatusiPod, 960, 4920 + FindRow, 3495, 255);
    LblStatusiPod->hide();

    // "<n> of <N> tracks shown" while a filter is on.
    LblShown = makeControl<QLabel>(FrameiPod, "LblShown");
    placeTwips(LblShown, 4560, 4920 + FindRow, 2760, 255);
    styleAsFrame(FrameiPod);

    // On the window itself, over the frame, at the right of the status line.
    const auto smallButton = [this](const char *name, const QString &caption, int left) {
        QPushButton *button = makeButton(this, name, caption);
        button->setFont(tahoma(6.75));
        placeTwips(button, left, 6360 + FindRow, 1095, 195);
        button->setEnabled(false);
        button->raise();
        return button;
    };
    BtnMarkShown = smallButton("BtnMarkShown", QStringLiteral("Mark shown"), 7560);
    BtnUnmarkShown = smallButton("BtnUnmarkShown", QStringLiteral("Unmark shown"), 8700);
    BtnSelSound = smallButton("BtnSelSound", QStringLiteral("(Un)&Select file"), 9840);
}

void FrmMain::buildExportArea()
{
    FrameExport = makeControl<QGroupBox>(this, "FrameExport", QStringLiteral("  Export files  "));
    placeTwips(FrameExport, 120, 6840 + FindRow, 11415, 1095);

    Label3 = makeControl<QLabel>(FrameExport, "Label3", QStringLiteral(" Export :"));
    Label3->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    placeTwips(Label3, 120, 240, 735, 255);

    LblSelFilesNum =
        borderedLabel(FrameExport, "LblSelFilesNum", QStringLiteral(" 0 file(s) selected"));
    placeTwips(LblSelFilesNum, 960, 240, 1935, 255);
    LblSelFilesSize =
        borderedLabel(FrameExport, "LblSelFilesSize", QStringLiteral(" 0 Kb = 0 Mb = 0 Gb"));
    placeTwips(LblSelFilesSize, 3000, 240, 3615, 255);
    LblSelFilesDur =
        borderedLabel(FrameExport, "LblSelFilesDur", QStringLiteral(" 00:00:00 hh:mm:ss"));
    placeTwips(LblSelFilesDur, 6720, 240, 1935, 255);

    LblSelFilesNumI = makeControl<QLabel>(FrameExport, "LblSelFilesNumI", QStringLiteral("0"));
    placeTwips(LblSelFilesNumI, 960, 480, 375, 255);
    LblSelFilesSizeI = makeControl<QLabel>(FrameExport, "LblSelFilesSizeI", QStringLiteral("0"));
    placeTwips(LblSelFilesSizeI, 3000, 480, 1335, 255);
    LblSelFilesDurI = makeControl<QLabel>(FrameExport, "LblSelFilesDurI", QStringLiteral("0"));
    placeTwips(LblSelFilesDurI, 6720, 600, 1335, 255);
    for (QLabel *hidden : {LblSelFilesNumI, LblSelFilesSizeI, LblSelFilesDurI})
        hidden->hide();

    LblStatusExport =
        makeControl<QLabel>(FrameExport, "LblStatusExport", QStringLiteral(" Status export"));
    placeTwips(LblStatusExport, 240, 720, 7455, 255);

    BtnExport = makeButton(FrameExport, "BtnExport", QStringLiteral("Export selected file(s)"));
    placeTwips(BtnExport, 9000, 240, 2055, 375);
    BtnExport->setEnabled(false);

    BtnOpenDir = makeButton(FrameExport, "BtnOpenDir", QStringLiteral("Open export directory"));
    placeTwips(BtnOpenDir, 9000, 720, 2055, 255);
    styleAsFrame(FrameExport);
}

// A larger window gives its extra room to the track frame and its grid; the settings
// and export areas keep their layout, the buttons at the right staying at the right.
void FrmMain::anchorControls()
{
    for (QWidget *topRight : std::initializer_list<QWidget *>{BtnHelp, BtnExit})
        m_anchors.add(topRight, FollowsRight);
    m_anchors.add(FrameiPod, GrowsWide | GrowsTall);
    m_anchors.add(MSFlexGridSoundList, GrowsWide | GrowsTall);
    m_anchors.add(ImgCover, FollowsRight);
    for (QWidget *statusLine : std::initializer_list<QWidget *>{Label2, LblStatusiPod, LblShown})
        m_anchors.add(statusLine, FollowsBottom);
    for (QWidget *button :
         std::initializer_list<QWidget *>{BtnMarkShown, BtnUnmarkShown, BtnSelSound})
        m_anchors.add(button, FollowsRight | FollowsBottom);
    m_anchors.add(FrameExport, FollowsBottom | GrowsWide);
    m_anchors.add(LblStatusExport, GrowsWide);
    for (QWidget *button : std::initializer_list<QWidget *>{BtnExport, BtnOpenDir})
        m_anchors.add(button, FollowsRight);
}

void FrmMain::setTabOrder()
{
    QWidget *const order[] = {
        BtnChangeDfltDrive, TxtDfltDrive, BtnChangeDfltDir, TxtDfltDir,  BtnChangeExpName,
        TxtExpName,         BtnUpdate,    BtnHelp,          BtnExit,     TxtFind,
        CboPlaylist,        BtnMarkShown, BtnUnmarkShown,   BtnSelSound, MSFlexGridSoundList,
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
                QStringLiteral("Choose the default directory to export"), m_state.exportDirectory(),
                [this](const QString &directory) {
                    m_state.setExportDirectory(directory);
                    m_kept->setExportDirectory(directory);
                },
                this);
            dialog.exec();
        });
        backToMain();
    });
    connect(BtnChangeExpName, &QPushButton::clicked, this, [this, backToMain] {
        FrmChgExpName dialog(this);
        if (dialog.exec() == QDialog::Accepted) {
            m_kept->setNameFields(m_state.nameFields());
            m_kept->setExportOptions(m_state.exportOptions());
        }
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
    connect(BtnMarkShown, &QPushButton::clicked, this, [this] { markShownRows(*this, true); });
    connect(BtnUnmarkShown, &QPushButton::clicked, this, [this] { markShownRows(*this, false); });
    connect(TxtFind, &QLineEdit::textChanged, this,
            [this](const QString &text) { showFoundTracks(*this, m_finder.setQuery(text)); });
    connect(CboPlaylist, &QComboBox::currentIndexChanged, this, [this](int index) {
        m_finder.setPlaylist(index - 1); // after "All tracks"
        showFoundTracks(*this);
    });
    connect(MSFlexGridSoundList, &TrackGrid::DblClick, this, [this] { sortTrackGrid(*this); });
    // The cover follows the highlighted row once the row stops moving, so that a key held
    // down reads no picture per row.
    auto *coverSoon = new QTimer(this);
    coverSoon->setSingleShot(true);
    coverSoon->setInterval(30);
    connect(coverSoon, &QTimer::timeout, this, &FrmMain::showCover);
    connect(MSFlexGridSoundList, &TrackGrid::RowColChange, coverSoon, qOverload<>(&QTimer::start));
    connect(BtnExport, &QPushButton::clicked, this, [this] { exportSelectedFiles(*this); });
}

// The controls that show the state follow it: the settings' text boxes and the totals.
void FrmMain::showState()
{
    connect(&m_state, &AppState::playerDriveChanged, TxtDfltDrive, &QLineEdit::setText);
    connect(&m_state, &AppState::exportDirectoryChanged, TxtDfltDir, &QLineEdit::setText);
    connect(&m_state, &AppState::nameFieldsChanged, this, [this] {
        const std::unique_ptr<FileSystem> fs = m_services.fileSystem();
        TxtExpName->setText(shownExpName(m_state.exportName(), m_state.exportOptions(),
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

void FrmMain::showCover()
{
    const TrackGrid &grid = *MSFlexGridSoundList;
    const int row = grid.Row();
    const int k = row >= 1 && row < grid.Rows() ? trackOfRow(grid, row) : 0;
    const std::unique_ptr<FileSystem> fs = k ? m_services.fileSystem() : nullptr;
    ImgCover->showCover(fs ? trackCover(*fs, trackTable(), k, m_state.playerDrive().toStdString())
                           : QImage());
}

// The start-up sequence: the path settings, the grid's header, the name fields.
void FrmMain::startUp()
{
    LblStatusExport->hide();

    const PlatformDefaults defaults = platformDefaults();
    StartUpSettings settings{defaults.playerDrive, defaults.exportDirectory};
    if (const std::unique_ptr<FileSystem> fs = m_services.fileSystem())
        settings = startUpSettings(*fs, *m_kept);
    m_state.setExportDirectory(QString::fromStdString(settings.dfltDir));
    m_state.setPlayerDrive(QString::fromStdString(settings.dfltDrive));

    TrackGrid *grid = MSFlexGridSoundList;
    grid->setFixedRows(1);
    grid->setRows(1);
    grid->setCols(TrackColumnEnd);
    grid->setRow(0);
    for (int c = 1; c < grid->Cols(); ++c) {
        grid->setCol(c);
        grid->setText(trackColumnCaption(c));
    }
    grid->setColWidth(0, 150);
    grid->setColWidth(1, 200);
    grid->setColWidth(2, 550);
    // Wide enough for their captions and for a date and time ("2024-01-06 05:12").
    grid->setColWidth(14, 1275); // Album Artist
    grid->setColWidth(19, 1650); // Last Played
    grid->setColWidth(20, 1650); // Date Added
    m_columns = new GridColumns(grid, *m_kept);

    // The name fields chosen at start, unless the user chose others in an earlier run.
    const std::optional<NameFields> fields = m_kept->nameFields();
    const ExportOptions options = m_kept->exportOptions();
    if (fields || options != ExportOptions{}) {
        const NameFields start = fields.value_or(defaultNameFields());
        m_state.setNameFields(start, expNameOf(start), options);
    }
    showTrackListChoices(*this);
    update();
}

void FrmMain::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    const QSize extra = size() - minimumSize();
    m_anchors.apply(extra);
    if (m_columns)
        m_columns->setExtraWidth(extra.width());
}

// Ctrl+F goes to the find box; in it, Esc clears it and Enter or Down go on to the grid.
void FrmMain::connectFindKeys()
{
    auto *find = new QShortcut(QKeySequence::Find, this);
    connect(find, &QShortcut::activated, this, [this] {
        TxtFind->setFocus(Qt::ShortcutFocusReason);
        TxtFind->selectAll();
    });
    TxtFind->installEventFilter(this);
}

bool FrmMain::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == TxtFind && event->type() == QEvent::KeyPress) {
        switch (static_cast<QKeyEvent *>(event)->key()) {
        case Qt::Key_Escape:
            TxtFind->clear();
            return true;
        case Qt::Key_Return:
        case Qt::Key_Enter:
        case Qt::Key_Down: {
            TrackGrid *grid = MSFlexGridSoundList;
            if (grid->Rows() > 1 && grid->Row() < 1)
                grid->setRow(1);
            grid->SetFocus();
            return true;
        }
        default:
            break;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void FrmMain::setExportRunning(std::function<void()> stop)
{
    const bool running = bool(stop);
    m_stopExport = std::move(stop);
    if (running && m_lockedDuringExport.empty()) {
        for (QWidget *control : std::initializer_list<QWidget *>{
                 BtnChangeDfltDrive, BtnChangeDfltDir, BtnChangeExpName, BtnUpdate, BtnSelSound,
                 BtnMarkShown, BtnUnmarkShown, BtnExport}) {
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
    showTrackListChoices(*this);
    for (QPushButton *button : {BtnSelSound, BtnMarkShown, BtnUnmarkShown, BtnExport})
        button->setEnabled(false);
}

} // namespace sondrel
