#pragma once

// The main window on a made-up machine, as the window tests use it:
//
//     MainWindowScene scene;                       // player/ and export/ in a temporary folder
//     TestDatabase db;
//     db.tracks << TestTrack::make("Hi", "Artist", "Album", "Rock",
//                                  ":iPod_Control:Music:F00:AB.mp3").withContents("bytes");
//     QVERIFY(scene.load(db));                     // writes the player, presses "Check for sound
//     files" scene.markRows(1, 1);                        // click, shift-click, "(Un)Select file"
//     QCOMPARE(scene.exportMarked(), QStringList{"File exported successfully"});
//
// The window's file system is the machine's own behind a FaultyFileSystem whose plan is
// `faults` (empty: nothing fails); its process starter records into `started`.

#include "fakemachine.h"
#include "faultyfilesystem.h"
#include "frmmain.h"
#include "itunesdbbuilder.h"
#include "recordingstarter.h"

#include <QStringList>
#include <QTemporaryDir>

#include <memory>

#include <QPushButton>

namespace sondrel::test {

class MainWindowScene
{
public:
    // The machine: "/" on a fixed disk, the player folder as a removable drive (sdb1) and
    // the export folder on a fixed disk of its own (sdc1). The window opens on it, shown,
    // with its player drive and export directory set to the two folders.
    MainWindowScene();
    ~MainWindowScene();

    QString playerPath() const;                  // without a trailing separator
    QString exportPath() const;                  // without a trailing separator
    QString path(const QString &relative) const; // a path inside the scene's folder

    // The settings file the scene's windows keep their settings in.
    QString settingsFile() const;
    // Closes the window and opens a new one on the same machine and kept settings, as a
    // second run of the program would: its two path settings are those start-up picks.
    void restart();

    FrmMain &window() const { return *m_window; }
    FrmMain *operator->() const { return m_window.get(); }
    TrackGrid *grid() const;

    // Writes the player's database and sound files (writePlayer) and presses "Check for
    // sound files"; true when the check ended with its "Updated in" message.
    bool load(const TestDatabase &db);

    // Clicks the button and answers every message box it opens; their texts.
    QStringList click(QAbstractButton *button);
    QStringList check() { return click(m_window->BtnUpdate); }
    // Clicks "Export selected file(s)" and waits for the run's end.
    QStringList exportMarked();

    // The centre of a grid cell, in the grid's viewport (rows and columns from 1).
    QPoint cellCentre(int row, int col) const;
    // Selects rows `from` to `to` as a user does: a click on `from`, a shift-click on `to`.
    void selectRows(int from, int to);
    // Selects rows `from` to `to` and presses "(Un)Select file".
    void markRows(int from, int to);

    // The texts of one grid column over the data rows.
    QStringList column(int col) const;
    // The titles (column 3) of the rows marked "X", in grid order.
    QStringList markedTitles() const;
    // The hidden totals and the three captions: count, bytes, milliseconds, then the
    // captions of the count, the size and the duration.
    QStringList totals() const;
    // The names of the files in the export folder (hidden ones too, but for the record),
    // sorted.
    QStringList exportFiles() const;

    FakeMachine machine;
    std::shared_ptr<FaultPlan> faults = std::make_shared<FaultPlan>();
    RecordingStarter::Log started = std::make_shared<std::vector<StartedProcess>>();

private:
    void open();

    QTemporaryDir m_dir;
    std::unique_ptr<FrmMain> m_window;
};

} // namespace sondrel::test
