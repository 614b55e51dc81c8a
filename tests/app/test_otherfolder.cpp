// Any folder as the player: "Other folder..." in the drive dialog and the command line's
// --player, a folder without a database, and a player folder that may not be written.

#include "frmchgdir.h"
#include "frmchgdrive.h"
#include "mainwindowscene.h"
#include "modalanswerer.h"
#include "startoptions.h"
#include "testmain.h"

#include <QCommandLineParser>
#include <QDateTime>
#include <QDirIterator>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

using namespace sondrel;
using namespace sondrel::test;

namespace {

// Every entry under `root` with its size and time of change: a run that writes nothing
// leaves it as it was.
QStringList snapshot(const QString &root)
{
    QStringList entries;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo info = it.nextFileInfo();
        entries << QString("%1 %2 %3")
                       .arg(info.filePath().mid(root.size()))
                       .arg(info.isDir() ? -1 : info.size())
                       .arg(info.lastModified().toMSecsSinceEpoch());
    }
    entries.sort();
    return entries;
}

// chmod -R a-w (or u+w back) on a folder and everything in it.
void setWritable(const QString &root, bool writable)
{
    const QFileDevice::Permissions write =
        QFileDevice::WriteOwner | QFileDevice::WriteGroup | QFileDevice::WriteOther;
    const auto apply = [&](const QString &path) {
        const QFileDevice::Permissions now = QFile::permissions(path);
        QFile::setPermissions(path, writable ? now | QFileDevice::WriteOwner : now & ~write);
    };
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    QStringList paths{root};
    while (it.hasNext())
        paths << it.next();
    for (const QString &path : paths)
        apply(path);
}

} // namespace

class TestOtherFolder : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup() { ModalAnswerer::closeLeftovers(); }

    // A folder chosen with "Other folder..." is the player drive; checking it lists its
    // tracks and exporting copies them, and the folder is left as it was, even when
    // nothing in it may be written.
    void otherFolderAsPlayer_data()
    {
        QTest::addColumn<bool>("database");
        QTest::addColumn<bool>("readOnly");
        QTest::addColumn<QString>("message"); // the check's message starts with it
        QTest::addColumn<QStringList>("titles");

        const QStringList three{"Hi", "Ωδή", "Звезда"};
        QTest::newRow("a player copied to a folder") << true << false << "Updated in " << three;
        QTest::newRow("a read-only player folder") << true << true << "Updated in " << three;
        QTest::newRow("a folder without a database")
            << false << false << "This is not the iPod drive. Select the right one."
            << QStringList{};
    }

    void otherFolderAsPlayer()
    {
        QFETCH(bool, database);
        QFETCH(bool, readOnly);
        QFETCH(QString, message);
        QFETCH(QStringList, titles);

        MainWindowScene scene;
        const QString folder = scene.path("copy of my player");
        QVERIFY(QDir().mkpath(folder + "/iPod_Control/Music"));
        TestDatabase db;
        for (int i = 0; i < 3; ++i)
            db.tracks << TestTrack::make(QStringList{"Hi", "Ωδή", "Звезда"}[i], "Artist", "Album",
                                         "Rock", QString(":iPod_Control:Music:F0%1:T.mp3").arg(i))
                             .withContents(QByteArray("sound ") + char('a' + i));
        if (database)
            QVERIFY(writePlayer(folder, db));
        if (readOnly)
            setWritable(folder, false);
        const QStringList before = snapshot(folder);

        bool folderDialog = false;
        QVERIFY(onDialog<FrmChgDrive>(scene->BtnChangeDfltDrive, [&](FrmChgDrive *drive) {
            folderDialog = onDialog<FrmChgDir>(drive->BtnOtherFolder, [&](FrmChgDir *dir) {
                dir->Dir1->setPath(folder);
                QTest::mouseClick(dir->BtnOK, Qt::LeftButton);
            });
        }));
        QVERIFY(folderDialog);
        QCOMPARE(scene->state().DfltDrive(), folder + "/");
        QCOMPARE(scene->TxtDfltDrive->text(), folder + "/");

        const QStringList messages = scene.check();
        QCOMPARE(messages.size(), 1);
        QVERIFY2(messages[0].startsWith(message), qPrintable(messages[0]));
        QCOMPARE(scene.column(3), titles);
        if (!titles.isEmpty()) {
            scene.markRows(1, int(titles.size()));
            QCOMPARE(scene.exportMarked(), QStringList{"Files exported successfully"});
            QCOMPARE(scene.exportFiles().size(), titles.size());
        }
        QCOMPARE(snapshot(folder), before);
        setWritable(folder, true);
    }

    // Cancel in the folder dialog changes nothing.
    void otherFolderCancelled()
    {
        MainWindowScene scene;
        const QString drive = scene->state().DfltDrive();
        bool folderDialog = false;
        QVERIFY(onDialog<FrmChgDrive>(scene->BtnChangeDfltDrive, [&](FrmChgDrive *dialog) {
            folderDialog = onDialog<FrmChgDir>(dialog->BtnOtherFolder, [&](FrmChgDir *dir) {
                dir->Dir1->setPath(scene.path("export"));
                QTest::mouseClick(dir->BtnCancel, Qt::LeftButton);
            });
        }));
        QVERIFY(folderDialog);
        QCOMPARE(scene->state().DfltDrive(), drive);
        QCOMPARE(scene->TxtDfltDrive->text(), drive);
    }

    // The command line's folders, as the window then shows them.
    void commandLine_data()
    {
        QTest::addColumn<QStringList>("arguments"); // "<root>" is the scene's folder
        QTest::addColumn<QString>("player");        // "" : the one the window had
        QTest::addColumn<QString>("exportDir");

        QTest::newRow("--player") << QStringList{"--player", "<root>/copy"} << "<root>/copy/" << "";
        QTest::newRow("one separator kept")
            << QStringList{"--player=<root>/copy//"} << "<root>/copy/" << "";
        QTest::newRow("relative to the working folder")
            << QStringList{"--player", "copy/../copy", "--to", "out"} << "<root>/copy/"
            << "<root>/out/";
        QTest::newRow("neither") << QStringList{} << "" << "";
    }

    void commandLine()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, player);
        QFETCH(QString, exportDir);

        MainWindowScene scene;
        const QString root = QFileInfo(scene.playerPath()).canonicalPath();
        const QString drive = scene->state().DfltDrive();
        const QString dir = scene->state().DfltDir();
        const QString startDir = QDir::currentPath();
        QVERIFY(QDir::setCurrent(root));
        QCommandLineParser parser;
        addStartOptions(parser);
        const bool parsed = parser.parse(QStringList{"Sondrel"} + arguments.replaceInStrings("<root>", root));
        const StartOptions options = startOptions(parser);
        QDir::setCurrent(startDir);
        QVERIFY(parsed);

        applyStartOptions(scene.window(), options);
        QCOMPARE(scene->TxtDfltDrive->text(),
                 player.isEmpty() ? drive : QString(player).replace("<root>", root));
        QCOMPARE(scene->TxtDfltDir->text(),
                 exportDir.isEmpty() ? dir : QString(exportDir).replace("<root>", root));
    }
};

SONDREL_TEST_MAIN(TestOtherFolder)
#include "test_otherfolder.moc"
