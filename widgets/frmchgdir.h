#pragma once

#include "classicdialog.h"

#include "filesystem.h"

#include <QDialog>
#include <QString>
#include <QTreeWidget>

#include <functional>
#include <memory>

class QLabel;
class QPushButton;

namespace sondrel {

// A directory list: the folders of one volume as an indented list, from the volume's
// root down to the open folder, followed by the open folder's subfolders. A double
// click (or Enter) on an entry opens it. Paths are full paths in the platform's own
// form; only a volume root such as "/" or "C:\" ends with a separator.
class DirList : public QTreeWidget
{
    Q_OBJECT

public:
    explicit DirList(QWidget *parent = nullptr);

    // Shows the folders of the volume whose root is `root`, opened at `path`. A path
    // outside that volume opens at the root.
    void open(const QString &root, const QString &path);
    // Opens another folder of the same volume.
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

// The dialog that chooses a directory from the folder tree of one volume: Sondrel's
// export directory and VemoSetup's installation directory. The prompt is the text
// above the list; on OK the target receives the chosen folder with exactly one
// trailing separator, and the caller stores it in its setting and its text box.
// Cancel and the close box change nothing. Each opening starts at the process's
// current directory, on the volume that holds it.
class FrmChgDir : public ClassicDialog
{
    Q_OBJECT

public:
    using Target = std::function<void(const QString &directory)>;
    using FileSystemFactory = std::function<std::unique_ptr<FileSystem>()>;

    FrmChgDir(const QString &prompt, Target target, FileSystemFactory fileSystem = createFileSystem,
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
