#pragma once

#include "classicdialog.h"

#include "namefields.h"

#include <QDialog>
#include <QString>

class QCheckBox;
class QLabel;
class QListWidget;
class QPushButton;

namespace sondrel {

class FrmMain;

// The display form of a name pattern: the labels of the chosen entries, in list
// order, joined by "_" ("Genre_Artist_Title_Album_ID").
QString expNameOf(const NameFields &fields);
// The pattern as the main window shows it: with artist and album folders,
// "AlbumArtist/Album/" (with the platform's separator) in front of it.
QString shownExpName(const QString &pattern, const ExportOptions &options, char separator);
// Moves entry k one place towards the top (moveFieldUp) or the bottom (moveFieldDown),
// with its flag and field number; at the end of the list nothing moves. Returns the
// entry's position afterwards.
int moveFieldUp(NameFields &fields, int k);
int moveFieldDown(NameFields &fields, int k);

// The export-name composer: a working copy of the main window's name-field list that
// the user checks, unchecks and reorders, and the export run's options. OK copies
// them back into the main window (list, ExpName, options, TxtExpName) when "Title" is
// chosen; Cancel discards them.
class FrmChgExpName : public ClassicDialog
{
    Q_OBJECT

public:
    explicit FrmChgExpName(FrmMain *main);

    // The working list and options as the dialog shows them.
    NameFields fields() const;
    ExportOptions options() const;

    QLabel *Label1;
    QListWidget *ListFields;
    QPushButton *BtnUp;
    QPushButton *BtnDown;
    QCheckBox *ChkFolders;
    QCheckBox *ChkPlaylists;
    QCheckBox *ChkHistoryTags;
    QCheckBox *ChkLibraryFile;
    QCheckBox *ChkRescue;
    QCheckBox *ChkCovers;
    QPushButton *BtnOK;
    QPushButton *BtnCancel;

protected:
    // Presses on the list's entries, seen before the list handles them.
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void setFields(const NameFields &fields);
    void moveHighlighted(int (*step)(NameFields &, int));
    void confirm();

    FrmMain *m_main;
};

} // namespace sondrel
