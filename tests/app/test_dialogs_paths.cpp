// The drive and directory dialogs, opened from the main window's buttons on a made-up
// machine whose mount points are folders of the test's own.

#include "fakemachine.h"
#include "filesystem_posix.h"
#include "frmchgdir.h"
#include "frmchgdrive.h"
#include "frmmain.h"
#include "modalanswerer.h"
#include "testmain.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidgetItemIterator>

using namespace sondrel;
using sondrel::test::onDialog;

namespace {

// The list's entries as "depth:text", top to bottom.
QStringList entries(const DirList *list)
{
    QStringList result;
    for (QTreeWidgetItemIterator it(const_cast<DirList *>(list)); *it; ++it) {
        int depth = 0;
        for (const QTreeWidgetItem *up = (*it)->parent(); up; up = up->parent())
            ++depth;
        result << QString("%1:%2").arg(depth).arg((*it)->text(0));
    }
    return result;
}

// The entries "depth:text" of the folders from "/" down to `path`, as the list shows them.
QStringList chain(const QString &path)
{
    QStringList result{"0:/"};
    const QStringList steps = path.split('/', Qt::SkipEmptyParts);
    for (int i = 0; i < steps.size(); ++i)
        result << QString("%1:%2").arg(i + 1).arg(steps[i]);
    return result;
}

QTreeWidgetItem *entry(DirList *list, const QString &text)
{
    const QList<QTreeWidgetItem *> found =
        list->findItems(text, Qt::MatchExactly | Qt::MatchRecursive);
    return found.isEmpty() ? nullptr : found.first();
}

void doubleClick(DirList *list, const QString &text)
{
    QTreeWidgetItem *item = entry(list, text);
    if (!item)
        return;
    list->scrollToItem(item);
    // Through the window system, which makes the double click of two clicks.
    QWidget *window = list->window();
    const QPoint at = list->viewport()->mapTo(window, list->visualItemRect(item).center());
    QTest::mouseDClick(window->windowHandle(), Qt::LeftButton, {}, at);
}

void activate(QWidget *dialog)
{
    QEvent activation(QEvent::WindowActivate);
    QApplication::sendEvent(dialog, &activation);
}

} // namespace

class TestDialogsPaths : public QObject
{
    Q_OBJECT

private:
    QString m_startDir;
    std::unique_ptr<QTemporaryDir> m_temp;
    std::unique_ptr<test::FakeMachine> m_machine;
    QString m_volume; // a folder that the made-up mount table makes a drive

    Services services() const
    {
        Services s;
        const test::FakeMachine *machine = m_machine.get();
        s.fileSystem = [machine] { return machine->fileSystem(); };
        return s;
    }

    void makeFolders(const QStringList &relative)
    {
        for (const QString &folder : relative)
            QVERIFY(QDir(m_volume).mkpath(folder));
    }

private Q_SLOTS:
    void initTestCase() { m_startDir = QDir::currentPath(); }

    void init()
    {
        m_temp = std::make_unique<QTemporaryDir>();
        QVERIFY(m_temp->isValid());
        const QString base = QFileInfo(m_temp->path()).canonicalFilePath();
        m_volume = base + "/volume";
        QVERIFY(QDir(base).mkpath("volume"));
        m_machine = std::make_unique<test::FakeMachine>();
        m_machine->mount("/dev/sdz1", m_volume, "ext4");
        QVERIFY(QDir::setCurrent(m_volume));
    }

    void cleanup()
    {
        test::ModalAnswerer::closeLeftovers();
        QDir::setCurrent(m_startDir);
        m_machine.reset();
        m_temp.reset();
    }

    // --- the directory dialog ---

    void directoryOkStoresTheOpenFolder_data()
    {
        QTest::addColumn<QString>("setting");  // the export directory, relative to the volume
        QTest::addColumn<QStringList>("open"); // entries double-clicked in turn
        QTest::addColumn<QString>("stored");   // "<volume>" stands for the volume's path

        QTest::newRow("nothing opened: the setting")
            << "Music/Rock/" << QStringList{} << "<volume>/Music/Rock/";
        QTest::newRow("subfolder opened: one separator")
            << "" << QStringList{"Music"} << "<volume>/Music/";
        QTest::newRow("back up to the volume")
            << "Music/Rock/" << QStringList{"volume"} << "<volume>/";
        QTest::newRow("up one, down another")
            << "Music/Rock/" << QStringList{"Music", "Jazz"} << "<volume>/Music/Jazz/";
        QTest::newRow("letter case and blanks kept")
            << "" << QStringList{"Old Songs", "MiXed"} << "<volume>/Old Songs/MiXed/";
        QTest::newRow("a setting that has gone: its nearest parent")
            << "Music/Gone/Deeper/" << QStringList{} << "<volume>/Music/";
        QTest::newRow("the tree's root: one separator") << "Music/" << QStringList{"/"} << "/";
    }

    void directoryOkStoresTheOpenFolder()
    {
        QFETCH(QString, setting);
        QFETCH(QStringList, open);
        QFETCH(QString, stored);
        makeFolders({"Music/Rock", "Music/Jazz", "Old Songs/MiXed", "Work"});
        QVERIFY(QDir::setCurrent(m_volume + "/Work")); // not where the dialog opens

        FrmMain main(services(), test::freshSettings());
        main.state().setExportDirectory(m_volume + "/" + setting);
        QString prompt;
        bool closed = false;
        QVERIFY(onDialog<FrmChgDir>(main.BtnChangeDfltDir, [&](FrmChgDir *dialog) {
            prompt = dialog->findChild<QLabel *>("Label1")->text();
            auto *list = dialog->findChild<DirList *>("Dir1");
            for (const QString &name : open)
                doubleClick(list, name == "volume" ? QFileInfo(m_volume).fileName() : name);
            QTest::mouseClick(dialog->findChild<QPushButton *>("BtnOK"), Qt::LeftButton);
            closed = !dialog->isVisible();
        }));
        QCOMPARE(prompt, QString("Choose the default directory to export"));
        QVERIFY(closed);
        stored.replace("<volume>", m_volume);
        QCOMPARE(main.state().exportDirectory(), stored);
        QCOMPARE(main.TxtDfltDir->text(), stored);

        // The next opening starts at the folder stored.
        QString reopenedAt;
        QVERIFY(onDialog<FrmChgDir>(main.BtnChangeDfltDir, [&](FrmChgDir *dialog) {
            reopenedAt = dialog->findChild<DirList *>("Dir1")->path();
        }));
        QCOMPARE(FrmChgDir::withSeparator(reopenedAt), stored);
    }

    // The list holds the tree's root "/", the folders down to the open one and the open
    // folder's subfolders, sorted without regard to case; files and hidden folders are
    // not folders to choose.
    void directoryListShowsTheTreeFromTheRoot()
    {
        makeFolders({"a/b/zeta", "a/b/Alpha", "a/b/.hidden", "a/other", "top"});
        QFile file(m_volume + "/a/b/notes.txt");
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();

        FrmMain main(services(), test::freshSettings());
        main.state().setExportDirectory(m_volume + "/a/b/");
        QStringList shown;
        QString highlighted;
        QVERIFY(onDialog<FrmChgDir>(main.BtnChangeDfltDir, [&](FrmChgDir *dialog) {
            auto *list = dialog->findChild<DirList *>("Dir1");
            shown = entries(list);
            highlighted = list->currentItem() ? list->currentItem()->text(0) : QString();
        }));
        const QStringList down = chain(m_volume + "/a/b");
        const QStringList below{QString("%1:Alpha").arg(down.size()),
                                QString("%1:zeta").arg(down.size())};
        QCOMPARE(shown, down + below);
        QCOMPARE(shown.first(), QString("0:/"));
        QCOMPARE(highlighted, QString("b"));
    }

    // The tree is the whole file system: a folder on another drive (here the mount that
    // holds the volume's parent) is reached by going up and down again.
    void directoryDialogReachesAnotherMount()
    {
        const QString base = QFileInfo(m_volume).path();
        QVERIFY(QDir(base).mkpath("elsewhere/Songs"));
        m_machine->mount("/dev/sdy1", "/", "ext4");
        makeFolders({"Music"});
        const auto fs = m_machine->fileSystem();
        QVERIFY(fs->driveOf(m_volume.toStdString()) !=
                fs->driveOf(base.toStdString() + "/elsewhere"));

        FrmMain main(services(), test::freshSettings());
        main.state().setExportDirectory(m_volume + "/Music/");
        QVERIFY(onDialog<FrmChgDir>(main.BtnChangeDfltDir, [&](FrmChgDir *dialog) {
            auto *list = dialog->findChild<DirList *>("Dir1");
            doubleClick(list, QFileInfo(base).fileName());
            doubleClick(list, "elsewhere");
            doubleClick(list, "Songs");
            QTest::mouseClick(dialog->findChild<QPushButton *>("BtnOK"), Qt::LeftButton);
        }));
        QCOMPARE(main.state().exportDirectory(), base + "/elsewhere/Songs/");
    }

    void cancelAndCloseChangeNothing_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("Cancel") << "cancel";
        QTest::newRow("close box") << "close";
    }

    void cancelAndCloseChangeNothing()
    {
        QFETCH(QString, how);
        makeFolders({"Music"});
        FrmMain main(services(), test::freshSettings());
        main.state().setExportDirectory(m_volume + "/");
        main.state().setPlayerDrive("/player/");

        bool stayedOnEsc = false;
        bool closed = false;
        QVERIFY(onDialog<FrmChgDir>(main.BtnChangeDfltDir, [&](FrmChgDir *dialog) {
            doubleClick(dialog->findChild<DirList *>("Dir1"), "Music");
            QTest::keyClick(dialog, Qt::Key_Escape); // no cancel key
            stayedOnEsc = dialog->isVisible();
            if (how == "cancel")
                QTest::mouseClick(dialog->findChild<QPushButton *>("BtnCancel"), Qt::LeftButton);
            else
                dialog->close();
            closed = !dialog->isVisible();
        }));
        QVERIFY(stayedOnEsc);
        QVERIFY(closed);

        QVERIFY(onDialog<FrmChgDrive>(main.BtnChangeDfltDrive, [&](FrmChgDrive *dialog) {
            if (how == "cancel")
                QTest::mouseClick(dialog->findChild<QPushButton *>("BtnCancel"), Qt::LeftButton);
            else
                dialog->close();
        }));

        QCOMPARE(main.state().exportDirectory(), m_volume + "/");
        QCOMPARE(main.TxtDfltDir->text(), m_volume + "/");
        QCOMPARE(main.state().playerDrive(), QString("/player/"));
        QCOMPARE(main.TxtDfltDrive->text(), QString("/player/"));
    }

    // A single click only highlights an entry; Enter opens it like a double click.
    void clickHighlightsEnterOpens()
    {
        makeFolders({"Music", "Video"});
        FrmMain main(services(), test::freshSettings());
        main.state().setExportDirectory(m_volume + "/");
        QString afterClick, afterEnter;
        QVERIFY(onDialog<FrmChgDir>(main.BtnChangeDfltDir, [&](FrmChgDir *dialog) {
            auto *list = dialog->findChild<DirList *>("Dir1");
            QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                              list->visualItemRect(entry(list, "Video")).center());
            afterClick = list->path();
            QTest::keyClick(list, Qt::Key_Return);
            afterEnter = list->path();
            QTest::mouseClick(dialog->findChild<QPushButton *>("BtnOK"), Qt::LeftButton);
        }));
        QCOMPARE(afterClick, m_volume);
        QCOMPARE(afterEnter, m_volume + "/Video");
        QCOMPARE(main.state().exportDirectory(), m_volume + "/Video/");
    }

    // Folders made or removed while the dialog is open show when it becomes active again.
    // An open folder that has gone gives way to its nearest remaining parent.
    void activationReadsTheDiskAgain()
    {
        makeFolders({"Music/Rock"});
        FrmMain main(services(), test::freshSettings());
        main.state().setExportDirectory(m_volume + "/");
        QStringList afterCreate;
        QString afterRemove;
        QVERIFY(onDialog<FrmChgDir>(main.BtnChangeDfltDir, [&](FrmChgDir *dialog) {
            auto *list = dialog->findChild<DirList *>("Dir1");
            doubleClick(list, "Music");
            doubleClick(list, "Rock");
            QDir(m_volume).mkpath("Music/Rock/New");
            activate(dialog);
            afterCreate = entries(list);
            QDir(m_volume + "/Music").removeRecursively();
            activate(dialog);
            afterRemove = list->path();
            QTest::mouseClick(dialog->findChild<QPushButton *>("BtnOK"), Qt::LeftButton);
        }));
        QCOMPARE(afterCreate, chain(m_volume + "/Music/Rock/New"));
        QCOMPARE(afterRemove, m_volume);
        QCOMPARE(main.state().exportDirectory(), m_volume + "/");
    }

    void directoryDialogLayout()
    {
        FrmMain main(services(), test::freshSettings());
        main.show();
        QString title;
        QStringList focusOrder;
        bool noDefaultButton = true;
        QSize size;
        QPoint offCentre;
        QVERIFY(onDialog<FrmChgDir>(main.BtnChangeDfltDir, [&](FrmChgDir *dialog) {
            title = dialog->windowTitle();
            size = dialog->size();
            offCentre = dialog->geometry().center() - main.geometry().center();
            QWidget *w = QApplication::focusWidget();
            for (int i = 0; i < 3 && w; ++i, w = w->nextInFocusChain()) {
                while (!(w->focusPolicy() & Qt::TabFocus))
                    w = w->nextInFocusChain();
                focusOrder << w->objectName();
            }
            for (auto *button : dialog->findChildren<QPushButton *>())
                noDefaultButton = noDefaultButton && !button->isDefault() && !button->autoDefault();
        }));
        QCOMPARE(title, QString("Sondrel"));
        QCOMPARE(size, QSize(312, 213));
        QCOMPARE(focusOrder, (QStringList{"Dir1", "BtnCancel", "BtnOK"}));
        QVERIFY(noDefaultButton);
        QVERIFY2(qAbs(offCentre.x()) <= 2 && qAbs(offCentre.y()) <= 30,
                 qPrintable(QString("%1,%2").arg(offCentre.x()).arg(offCentre.y())));
        QVERIFY(QTest::qWaitForWindowActive(&main)); // the focus is back on the main window
    }

    void withSeparator_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("stored");
        QTest::newRow("root stays") << "/"
                                    << "/";
        QTest::newRow("folder gains one") << "/mnt/music"
                                          << "/mnt/music/";
        QTest::newRow("folder with one keeps it") << "/mnt/music/"
                                                  << "/mnt/music/";
    }

    void withSeparator()
    {
        QFETCH(QString, path);
        QFETCH(QString, stored);
        QCOMPARE(FrmChgDir::withSeparator(path), stored);
    }

    // --- the drive dialog ---

    void driveSetting_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("setting");
        QTest::newRow("root once") << "/"
                                   << "/";
        QTest::newRow("mount point") << "/media/ipod"
                                     << "/media/ipod/";
        QTest::newRow("mount point keeps its case") << "/media/IPOD"
                                                    << "/media/IPOD/";
        QTest::newRow("drive letter upper-cased") << "e:"
                                                  << "E:/";
    }

    void driveSetting()
    {
        QFETCH(QString, path);
        QFETCH(QString, setting);
        const PosixFileSystem fs(m_machine->mountTablePath().toStdString(),
                                 m_machine->sysfsRoot().toStdString());
        QCOMPARE(sondrel::driveSetting(fs, Drive{DriveType::Fixed, path.toStdString()}), setting);
    }

    // The list shows the block-device file systems by mount point and starts on the one
    // that holds the working directory; OK stores its root with one separator.
    void driveDialogStartsOnTheWorkingDrive_data()
    {
        QTest::addColumn<int>("moves"); // Down presses in the list before OK
        QTest::addColumn<QString>("stored");
        QTest::newRow("the working drive") << 0 << "volume/";
        QTest::newRow("the next drive") << 1 << "volume/Player/";
        QTest::newRow("the one after: case kept") << 2 << "volume/IPOD/";
    }

    void driveDialogStartsOnTheWorkingDrive()
    {
        QFETCH(int, moves);
        QFETCH(QString, stored);
        m_machine->mount("tmpfs", m_volume + "/ram", "tmpfs");
        m_machine->mount("/dev/sdy1", m_volume + "/Player", "vfat");
        m_machine->mount("/dev/sdx1", m_volume + "/IPOD", "vfat");
        makeFolders({"Music"});
        QVERIFY(QDir::setCurrent(m_volume + "/Music"));
        const QString base = QFileInfo(m_volume).path() + "/";

        FrmMain main(services(), test::freshSettings());
        QStringList listed;
        QString startedOn;
        QVERIFY(onDialog<FrmChgDrive>(main.BtnChangeDfltDrive, [&](FrmChgDrive *dialog) {
            auto *drives = dialog->findChild<QComboBox *>("Drive1");
            for (int i = 0; i < drives->count(); ++i)
                listed << drives->itemText(i);
            startedOn = drives->currentText();
            for (int i = 0; i < moves; ++i)
                QTest::keyClick(drives, Qt::Key_Down);
            QTest::mouseClick(dialog->findChild<QPushButton *>("BtnOK"), Qt::LeftButton);
        }));
        QCOMPARE(listed, (QStringList{m_volume, m_volume + "/Player", m_volume + "/IPOD"}));
        QCOMPARE(startedOn, m_volume);
        QCOMPARE(main.state().playerDrive(), base + stored);
        QCOMPARE(main.TxtDfltDrive->text(), base + stored);
    }

    // A drive mounted while the dialog is open shows when it becomes active again; the
    // drive shown stays shown.
    void driveListReadAgainOnActivation()
    {
        m_machine->mount("/dev/sdy1", m_volume + "/Player", "vfat");
        FrmMain main(services(), test::freshSettings());
        QStringList before, after;
        QString shownAfter;
        QVERIFY(onDialog<FrmChgDrive>(main.BtnChangeDfltDrive, [&](FrmChgDrive *dialog) {
            auto *drives = dialog->findChild<QComboBox *>("Drive1");
            QTest::keyClick(drives, Qt::Key_Down);
            for (int i = 0; i < drives->count(); ++i)
                before << drives->itemText(i);
            m_machine->mount("/dev/sdx1", m_volume + "/Later", "vfat");
            activate(dialog);
            for (int i = 0; i < drives->count(); ++i)
                after << drives->itemText(i);
            shownAfter = drives->currentText();
        }));
        QCOMPARE(before, (QStringList{m_volume, m_volume + "/Player"}));
        QCOMPARE(after, (QStringList{m_volume, m_volume + "/Player", m_volume + "/Later"}));
        QCOMPARE(shownAfter, m_volume + "/Player");
    }

    // A machine without any drive to list: OK has nothing to store.
    void driveDialogWithoutDrives()
    {
        m_machine = std::make_unique<test::FakeMachine>();
        m_machine->mount("tmpfs", m_volume, "tmpfs");
        FrmMain main(services(), test::freshSettings());
        const QString before = main.state().playerDrive();
        int listed = -1;
        bool closed = false;
        QVERIFY(onDialog<FrmChgDrive>(main.BtnChangeDfltDrive, [&](FrmChgDrive *dialog) {
            listed = dialog->findChild<QComboBox *>("Drive1")->count();
            QTest::mouseClick(dialog->findChild<QPushButton *>("BtnOK"), Qt::LeftButton);
            closed = !dialog->isVisible();
        }));
        QCOMPARE(listed, 0);
        QVERIFY(closed);
        QCOMPARE(main.state().playerDrive(), before);
        QCOMPARE(main.TxtDfltDrive->text(), before);
    }

    void driveDialogLayout()
    {
        FrmMain main(services(), test::freshSettings());
        QString title, prompt;
        QSize size;
        QString focused;
        QStringList focusOrder;
        QVERIFY(onDialog<FrmChgDrive>(main.BtnChangeDfltDrive, [&](FrmChgDrive *dialog) {
            title = dialog->windowTitle();
            prompt = dialog->findChild<QLabel *>("Label1")->text();
            size = dialog->size();
            QWidget *w = dialog->findChild<QComboBox *>("Drive1");
            focused =
                QApplication::focusWidget() ? QApplication::focusWidget()->objectName() : QString();
            for (int i = 0; i < 4; ++i, w = w->nextInFocusChain()) {
                while (!(w->focusPolicy() & Qt::TabFocus))
                    w = w->nextInFocusChain();
                focusOrder << w->objectName();
            }
        }));
        QCOMPARE(title, QString("Sondrel"));
        QCOMPARE(prompt, QString("Choose the drive where iPod is connected"));
        QCOMPARE(size, QSize(312, 95));
        QCOMPARE(focused, QString("Drive1"));
        QCOMPARE(focusOrder, (QStringList{"Drive1", "BtnOtherFolder", "BtnCancel", "BtnOK"}));
    }
};

SONDREL_TEST_MAIN(TestDialogsPaths)
#include "test_dialogs_paths.moc"
