#pragma once

#include "classicdialog.h"

#include <QDialog>
#include <QString>
#include <QTreeWidget>

#include <functional>

class QLabel;
class QPushButton;

namespace sondrel {

// A directory list: one folder tree as an indented list, from the tree's root down to the
// open folder, followed by the open folder's subfolders. A double click (or Enter) on an
// entry opens it. Paths are full paths in the platform's own form; only a root such as
// "/" or "C:\" ends with a separator.
class DirList : public QTreeWidget
{
    Q_OBJECT

public:
    explicit DirList(QWidget *parent = nullptr);

    // Shows the tree whose root is `root` (the root of `path` when empty), opened at
    // `path`, or at its nearest existing parent. A path outside that tree opens at the root.
    void open(const QString &root, const QString &path);
    // Opens another folder of the same tree.
    void setPath(const QString &path);
    // The open folder.
    QString path() const { return m_path; }
    QString root() const { return m_root; }
    // Reads the folders again from the disk. When the open folder has gone meanwhile,
    // its nearest remaining parent is opened instead.
    void refresh();

    // The full path an entry of the list stands for.
    static QString pathOf(const QTreeWidgetItem *item);

Q_SIGNALS:
    void pathChanged(const QString &path);

protected:
    // Enter opens the highlighted entry; every other key is the list's own.
    void keyPressEvent(QKeyEvent *event) override;
    // The list is drawn as an indented list: no tree branches or expand marks.
    void drawBranches(QPainter *painter, const QRect &rect,
                      const QModelIndex &index) const override;

private:
    void openItem(QTreeWidgetItem *item);
    bool insideRoot(const QString &path) const;
    QString child(const QString &parent, const QString &name) const;

    QString m_root;
    QString m_path;
};

// The dialog that chooses a directory from the folder tree: Sondrel's export directory and
// VemoSetup's installation directory. The prompt is the text above the list; on OK the
// target receives the chosen folder with exactly one trailing separator, and the caller
// stores it in its setting and its text box. Cancel and the close box change nothing.
// Each opening starts at the folder of the current setting (its nearest existing parent
// when it is gone). On Linux the tree is the one file system from "/", which reaches every
// mounted disk; on Windows it is the setting's drive.
class FrmChgDir : public ClassicDialog
{
    Q_OBJECT

public:
    using Target = std::function<void(const QString &directory)>;

    FrmChgDir(const QString &prompt, const QString &startFolder, Target target,
              QWidget *owner = nullptr);

    // The folder as OK hands it on: unchanged when it ends with a separator, else with
    // one separator appended.
    static QString withSeparator(const QString &path);

    QLabel *Label1;
    DirList *Dir1;
    QPushButton *BtnOK;
    QPushButton *BtnCancel;

protected:
    // Each activation reads the folder tree again from the disk.
    bool event(QEvent *event) override;

private:
    void confirm();

    Target m_target;
};

} // namespace sondrel
