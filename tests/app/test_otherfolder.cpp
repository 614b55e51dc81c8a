// Any folder as the player: "Other folder..." in the drive dialog, a folder without a
// database, a player folder that may not be written, and the command line's folders.

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
#include <QProcess>
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

// chmod -R on a folder: "a-w" makes nothing in it writable, "u+w" gives it back.
void chmodAll(const QString &root, const QString &mode)
{
    QProcess::execute("chmod", {"-R", mode, root});
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
        for (const QString &title : QStringList{"Hi", "Ωδή", "Звезда"})
            db.tracks << TestTrack::make(title, "Artist", "Album", "Rock",
                                         ":iPod_Control:Music:F00:" + title + ".mp3")
                             .withContents(title.toUtf8());
        if (database)
            QVERIFY(writePlayer(folder, db));
        if (readOnly)
            chmodAll(folder, "a-w");
        const QStringList before = snapshot(folder);

        bool folderDialog = false;
        QVERIFY(onDialog<FrmChgDrive>(scene->BtnChangeDfltDrive, [&](FrmChgDrive *drive) {
            folderDialog = onDialog<FrmChgDir>(drive->BtnOtherFolder, [&](FrmChgDir *dir) {
                dir->Dir1->setPath(folder);
                QTest::mouseClick(dir->BtnOK, Qt::LeftButton);
            });
        }));
        QVERIFY(folderDialog);
        QCOMPARE(scene->state().playerDrive(), folder + "/");
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
        chmodAll(folder, "u+w");
    }

    // The command line's folders: absolute, cleaned, with one trailing separator.
    void commandLine_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("player"); // "<here>": the working folder
        QTest::addColumn<QString>("exportDir");
        QTest::newRow("absolute") << QStringList{"--player=/media/copy//", "--to", "/srv/out"}
                                  << "/media/copy/"
                                  << "/srv/out/";
        QTest::newRow("relative") << QStringList{"--player", "a/../copy", "--to=./out/"}
                                  << "<here>/copy/"
                                  << "<here>/out/";
    }

    void commandLine()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, player);
        QFETCH(QString, exportDir);
        QCommandLineParser parser;
        addStartOptions(parser);
        QVERIFY(parser.parse(QStringList{"Sondrel"} + arguments));
        const StartOptions options = startOptions(parser);
        QCOMPARE(options.player, player.replace("<here>", QDir::currentPath()));
        QCOMPARE(options.exportDir, exportDir.replace("<here>", QDir::currentPath()));
    }
};

SONDREL_TEST_MAIN(TestOtherFolder)
#include "test_otherfolder.moc"
