#include "frmchgdir.h"

#include "controls.h"

#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QStyle>

namespace sondrel {

namespace {

QChar separator()
{
    return QDir::separator();
}

// Folder names compare as the platform's file system compares them.
constexpr Qt::CaseSensitivity pathCase()
{
#ifdef Q_OS_WIN
    return Qt::CaseInsensitive;
#else
    return Qt::CaseSensitive;
#endif
}

QString nativeClean(const QString &path)
{
    return path.isEmpty() ? path : QDir::toNativeSeparators(QDir::cleanPath(path));
}

// A volume root in the list's form: "/" or "/mnt/data" as they are, "C:" as "C:\".
QString rootForm(const QString &root)
{
    QString form = nativeClean(root);
    if (form.endsWith(QLatin1Char(':')))
        form += separator();
    return form;
}

// The root of the tree a path lies in: "C:\" for a Windows path, "/" for any other.
QString topOf(const QString &path)
{
    if (path.size() >= 2 && path.at(1) == QLatin1Char(':'))
        return path.left(2) + separator();
    return QString(separator());
}

} // namespace

DirList::DirList(QWidget *parent) : QTreeWidget(parent)
{
    setHeaderHidden(true);
    setColumnCount(1);
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setExpandsOnDoubleClick(false);
    setUniformRowHeights(true);
    setIndentation(12);
    setSelectionMode(QAbstractItemView::SingleSelection);
    connect(this, &QTreeWidget::itemDoubleClicked, this,
            [this](QTreeWidgetItem *item) { openItem(item); });
}

void DirList::open(const QString &root, const QString &path)
{
    const QString start = nativeClean(path.isEmpty() ? QDir::currentPath() : path);
    m_root = root.isEmpty() ? topOf(start) : rootForm(root);
    m_path = insideRoot(start) ? start : m_root;
    refresh();
}

void DirList::setPath(const QString &path)
{
    const QString target = nativeClean(path);
    if (!insideRoot(target))
        return;
    const bool changed = target != m_path;
    m_path = target;
    refresh();
    if (changed)
        Q_EMIT pathChanged(m_path);
}

bool DirList::insideRoot(const QString &path) const
{
    if (m_root.endsWith(separator()))
        return path.startsWith(m_root, pathCase());
    return path.compare(m_root, pathCase()) == 0 ||
           path.startsWith(m_root + separator(), pathCase());
}

QString DirList::child(const QString &parent, const QString &name) const
{
    return parent.endsWith(separator()) ? parent + name : parent + separator() + name;
}

void DirList::refresh()
{
    // A folder removed meanwhile: fall back to the nearest parent that is still there.
    while (m_path.size() > m_root.size() && !QFileInfo(m_path).isDir()) {
        const qsizetype cut = m_path.lastIndexOf(separator());
        m_path = cut < m_root.size() ? m_root : m_path.left(cut);
    }

    const QIcon openIcon = style()->standardIcon(QStyle::SP_DirOpenIcon);
    const QIcon closedIcon = style()->standardIcon(QStyle::SP_DirClosedIcon);
    const auto entry = [](const QString &text, const QString &fullPath, const QIcon &icon) {
        auto *item = new QTreeWidgetItem(QStringList(text));
        item->setData(0, Qt::UserRole, fullPath);
        item->setIcon(0, icon);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
        return item;
    };

    setUpdatesEnabled(false);
    clear();
    QTreeWidgetItem *current = entry(m_root, m_root, openIcon);
    addTopLevelItem(current);
    QString at = m_root;
    const QStringList steps = m_path.mid(m_root.size()).split(separator(), Qt::SkipEmptyParts);
    for (const QString &step : steps) {
        at = child(at, step);
        QTreeWidgetItem *next = entry(step, at, openIcon);
        current->addChild(next);
        current = next;
    }

    const QStringList names =
        QDir(m_path).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase);
    QList<QTreeWidgetItem *> subfolders;
    subfolders.reserve(names.size());
    for (const QString &name : names)
        subfolders.append(entry(name, child(m_path, name), closedIcon));
    current->addChildren(subfolders);

    expandAll();
    setCurrentItem(current);
    setUpdatesEnabled(true);
    scrollToItem(current);
}

QString DirList::pathOf(const QTreeWidgetItem *item)
{
    return item ? item->data(0, Qt::UserRole).toString() : QString();
}

void DirList::openItem(QTreeWidgetItem *item)
{
    if (item)
        setPath(pathOf(item));
}

void DirList::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        openItem(currentItem());
        event->accept();
        return;
    }
    QTreeWidget::keyPressEvent(event);
}

void DirList::drawBranches(QPainter *, const QRect &, const QModelIndex &) const {}

FrmChgDir::FrmChgDir(const QString &prompt, const QString &startFolder, Target target,
                     QWidget *owner)
    : ClassicDialog(owner), m_target(std::move(target))
{
    setObjectName(QStringLiteral("FrmChgDir"));
    setWindowTitle(QStringLiteral("Sondrel"));
    setWindowFlags(classicWindowFlags(WindowKind::Dialog));
    setFont(msSansSerif());
    sizeTwips(this, 4680, 3195);

    Label1 = makeControl<QLabel>(this, "Label1", prompt);
    placeTwips(Label1, 120, 120, 4455, 255);

    Dir1 = makeControl<DirList>(this, "Dir1");
    placeTwips(Dir1, 113, 480, 4455, 2115);

    BtnOK = makeButton(this, "BtnOK", QStringLiteral("OK"));
    placeTwips(BtnOK, 919, 2760, 1215, 375);

    BtnCancel = makeButton(this, "BtnCancel", QStringLiteral("Cancel"));
    placeTwips(BtnCancel, 2546, 2760, 1215, 375);

    QWidget::setTabOrder(Dir1, BtnCancel);
    QWidget::setTabOrder(BtnCancel, BtnOK);
    Dir1->setFocus();

    connect(BtnOK, &QPushButton::clicked, this, &FrmChgDir::confirm);
    connect(BtnCancel, &QPushButton::clicked, this, &QDialog::reject);

    // The list opens at the setting. A drive that is not there (a Windows setting naming a
    // drive letter that has gone) gives way to the working directory.
    QString start = nativeClean(startFolder);
    if (start.isEmpty() || !QFileInfo(topOf(start)).isDir())
        start = QDir::toNativeSeparators(QDir::currentPath());
    Dir1->open(QString(), start);
}

QString FrmChgDir::withSeparator(const QString &path)
{
    return path.endsWith(QDir::separator()) ? path : path + QDir::separator();
}

void FrmChgDir::confirm()
{
    const QString chosen = withSeparator(Dir1->path());
    if (m_target)
        m_target(chosen);
    accept();
}

bool FrmChgDir::event(QEvent *event)
{
    if (event->type() == QEvent::WindowActivate)
        Dir1->refresh();
    return QDialog::event(event);
}

} // namespace sondrel
