#include "frmchgexpname.h"

#include "controls.h"
#include "frmmain.h"
#include "messages.h"

#include <QCheckBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>

#include <utility>

namespace sondrel {

QString expNameOf(const NameFields &fields)
{
    QString name;
    for (const NameField &field : fields) {
        if (field.chosen)
            name += QLatin1Char('_') + field.label;
    }
    return name.mid(1);
}

QString shownExpName(const QString &pattern, const ExportOptions &options, char separator)
{
    if (!options.artistAlbumFolders)
        return pattern;
    const QChar slash = QLatin1Char(separator);
    return QStringLiteral("AlbumArtist") + slash + QStringLiteral("Album") + slash + pattern;
}

int moveFieldUp(NameFields &fields, int k)
{
    if (k <= 0 || k >= int(fields.size()))
        return k;
    std::swap(fields[std::size_t(k - 1)], fields[std::size_t(k)]);
    return k - 1;
}

int moveFieldDown(NameFields &fields, int k)
{
    if (k < 0 || k + 1 >= int(fields.size()))
        return k;
    std::swap(fields[std::size_t(k)], fields[std::size_t(k + 1)]);
    return k + 1;
}

namespace {

// The list shows all ten entries without scrolling; the options and the buttons follow it.
constexpr int ListTop = 480;
constexpr int ListHeight = 2415;
constexpr int OptionsTop = ListTop + ListHeight + 120;
constexpr int OptionHeight = 255;
constexpr int OptionStep = 300;
constexpr int ButtonsTop = OptionsTop + 6 * OptionStep + 60;
constexpr int ClientHeight = ButtonsTop + 375 + 120;
// As wide as the longest option's caption needs, with room for wider fonts.
constexpr int OptionWidth = 3600;
constexpr int ClientWidth = 600 + OptionWidth + 120;

QCheckBox *optionBox(QWidget *parent, const char *name, const QString &caption, int top)
{
    auto *box = makeControl<QCheckBox>(parent, name, caption);
    box->setFont(tahoma());
    placeTwips(box, 600, top, OptionWidth, OptionHeight);
    return box;
}

QPushButton *arrowButton(QWidget *parent, const char *name, const QString &picture,
                         const QString &accessibleName)
{
    auto *button = new QPushButton(parent);
    button->setObjectName(QLatin1String(name));
    button->setIcon(QIcon(picture));
    button->setIconSize(QSize(36, 36));
    button->setAccessibleName(accessibleName);
    button->setFont(tahoma());
    return button;
}

} // namespace

FrmChgExpName::FrmChgExpName(FrmMain *main) : ClassicDialog(main), m_main(main)
{
    setObjectName(QStringLiteral("FrmChgExpName"));
    setWindowTitle(QStringLiteral("Sondrel"));
    setWindowFlags(classicWindowFlags(WindowKind::Dialog));
    setFont(msSansSerif());

    Label1 = makeControl<QLabel>(this, "Label1",
                                 QStringLiteral("Choose and order fileds for the file name"));
    Label1->setFont(tahoma());
    Label1->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
    placeTwips(Label1, 0, 120, 3135, 255);

    ListFields = makeControl<QListWidget>(this, "ListFields");
    ListFields->setFont(tahoma());
    placeTwips(ListFields, 600, ListTop, 1695, ListHeight);

    BtnUp = arrowButton(this, "BtnUp", QStringLiteral(":/arrow_up.png"), QStringLiteral("Up"));
    placeTwips(BtnUp, 2400, 720, 495, 495);
    BtnDown =
        arrowButton(this, "BtnDown", QStringLiteral(":/arrow_down.png"), QStringLiteral("Down"));
    placeTwips(BtnDown, 2400, 1440, 495, 495);

    ChkFolders =
        optionBox(this, "ChkFolders", QStringLiteral("Artist and album folders"), OptionsTop);
    ChkPlaylists = optionBox(this, "ChkPlaylists", QStringLiteral("Write playlists (.m3u8)"),
                             OptionsTop + OptionStep);
    ChkHistoryTags = optionBox(this, "ChkHistoryTags",
                               QStringLiteral("Write ratings and play counts into the files"),
                               OptionsTop + 2 * OptionStep);
    ChkLibraryFile =
        optionBox(this, "ChkLibraryFile", QStringLiteral("Write a library file for other players"),
                  OptionsTop + 3 * OptionStep);
    ChkRescue =
        optionBox(this, "ChkRescue", QStringLiteral("Keep what can be read of damaged files"),
                  OptionsTop + 4 * OptionStep);
    ChkCovers = optionBox(this, "ChkCovers", QStringLiteral("Put covers into the files"),
                          OptionsTop + 5 * OptionStep);

    BtnOK = makeButton(this, "BtnOK", QStringLiteral("OK"));
    placeTwips(BtnOK, 120, ButtonsTop, 1215, 375);
    BtnCancel = makeButton(this, "BtnCancel", QStringLiteral("Cancel"));
    placeTwips(BtnCancel, 1680, ButtonsTop, 1215, 375);

    for (QPushButton *button : {BtnUp, BtnDown, BtnOK, BtnCancel}) {
        button->setAutoDefault(false);
        button->setDefault(false);
    }
    QWidget::setTabOrder(ListFields, BtnDown);
    QWidget::setTabOrder(BtnDown, BtnUp);
    QWidget::setTabOrder(BtnUp, ChkFolders);
    QWidget::setTabOrder(ChkFolders, ChkPlaylists);
    QWidget::setTabOrder(ChkPlaylists, ChkHistoryTags);
    QWidget::setTabOrder(ChkHistoryTags, ChkLibraryFile);
    QWidget::setTabOrder(ChkLibraryFile, ChkRescue);
    QWidget::setTabOrder(ChkRescue, ChkCovers);
    QWidget::setTabOrder(ChkCovers, BtnOK);
    QWidget::setTabOrder(BtnOK, BtnCancel);
    ListFields->setFocus();

    connect(BtnUp, &QPushButton::clicked, this, [this] { moveHighlighted(&moveFieldUp); });
    connect(BtnDown, &QPushButton::clicked, this, [this] { moveHighlighted(&moveFieldDown); });
    connect(BtnOK, &QPushButton::clicked, this, &FrmChgExpName::confirm);
    connect(BtnCancel, &QPushButton::clicked, this, &QDialog::reject);

    // A click on an entry, on its check box too, makes it the highlighted entry.
    ListFields->viewport()->installEventFilter(this);

    // Sizable; its client area opens at a fixed place from the screen's top left.
    const QPoint screenCorner = main->screen()->geometry().topLeft();
    setGeometry(QRect(screenCorner + QPoint(twips(4185), twips(2325)),
                      QSize(twips(ClientWidth), twips(ClientHeight))));

    // Each opening shows the list and options as last confirmed, with the first entry
    // highlighted.
    setFields(main->state().nameFields());
    ListFields->setCurrentRow(0);
    ChkFolders->setChecked(main->state().exportOptions().artistAlbumFolders);
    ChkPlaylists->setChecked(main->state().exportOptions().writePlaylists);
    ChkHistoryTags->setChecked(main->state().exportOptions().historyTags);
    ChkLibraryFile->setChecked(main->state().exportOptions().libraryFile);
    ChkRescue->setChecked(main->state().exportOptions().rescue);
    ChkCovers->setChecked(main->state().exportOptions().covers);
}

ExportOptions FrmChgExpName::options() const
{
    ExportOptions options;
    options.artistAlbumFolders = ChkFolders->isChecked();
    options.writePlaylists = ChkPlaylists->isChecked();
    options.historyTags = ChkHistoryTags->isChecked();
    options.libraryFile = ChkLibraryFile->isChecked();
    options.rescue = ChkRescue->isChecked();
    options.covers = ChkCovers->isChecked();
    return options;
}

NameFields FrmChgExpName::fields() const
{
    NameFields fields;
    for (int i = 0; i < ListFields->count(); ++i) {
        const QListWidgetItem *item = ListFields->item(i);
        fields.push_back(
            {item->text(), item->checkState() == Qt::Checked, item->data(Qt::UserRole).toInt()});
    }
    return fields;
}

void FrmChgExpName::setFields(const NameFields &fields)
{
    ListFields->clear();
    for (const NameField &field : fields) {
        auto *item = new QListWidgetItem(field.label, ListFields);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
        item->setCheckState(field.chosen ? Qt::Checked : Qt::Unchecked);
        item->setData(Qt::UserRole, field.field);
    }
}

// Up and Down read the whole list, move the highlighted entry and write the list back;
// the highlight follows the moved entry.
void FrmChgExpName::moveHighlighted(int (*step)(NameFields &, int))
{
    NameFields working = fields();
    const int from = ListFields->currentRow();
    const int to = step(working, from);
    if (to == from)
        return;
    for (int i : {from, to}) {
        QListWidgetItem *item = ListFields->item(i);
        const NameField &field = working[std::size_t(i)];
        item->setText(field.label);
        item->setCheckState(field.chosen ? Qt::Checked : Qt::Unchecked);
        item->setData(Qt::UserRole, field.field);
    }
    ListFields->setCurrentRow(to);
}

void FrmChgExpName::confirm()
{
    const NameFields working = fields();
    if (!titleChosen(working)) {
        showMessage(this, QStringLiteral("You need to choose at least the 'Title' field"));
        return;
    }
    accept();
    m_main->state().setNameFields(working, expNameOf(working), options());
}

bool FrmChgExpName::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == ListFields->viewport() && event->type() == QEvent::MouseButtonPress) {
        const QModelIndex pressed =
            ListFields->indexAt(static_cast<QMouseEvent *>(event)->position().toPoint());
        if (pressed.isValid())
            ListFields->setCurrentRow(pressed.row());
    }
    return QDialog::eventFilter(watched, event);
}

} // namespace sondrel
