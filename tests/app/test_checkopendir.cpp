#include "fakemachine.h"
#include "frmmain.h"
#include "modalanswerer.h"
#include "platformerror.h"
#include "process.h"
#include "recordingstarter.h"
#include "testmain.h"

#include <QPushButton>
#include <QTest>

#include <cerrno>

using namespace sondrel;
using namespace sondrel::test;

class TestOpenExportDirectory : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup() { ModalAnswerer::closeLeftovers(); }

    // The file manager is started on the export directory, as one argument, without a
    // check of the directory first.
    void startsTheFileManager_data()
    {
        QTest::addColumn<QString>("dir");
        QTest::newRow("root") << "/";
        QTest::newRow("blanks and quotes") << "/home/me/My \"Music\" files/";
        QTest::newRow("a directory that does not exist") << "/no/such/folder/";
    }

    void startsTheFileManager()
    {
        QFETCH(QString, dir);
        FakeMachine machine;
        const auto starts = std::make_shared<std::vector<StartedProcess>>();
        Services services;
        services.fileSystem = [&] { return machine.fileSystem(); };
        services.processStarter = RecordingStarter::factory(starts);
        FrmMain window(services, test::freshSettings());
        window.state().setExportDirectory(dir);

        ModalAnswerer answerer;
        QTest::mouseClick(window.findChild<QPushButton *>("BtnOpenDir"), Qt::LeftButton);
        QCOMPARE(answerer.texts(), QStringList());
        QCOMPARE(starts->size(), std::size_t(1));
        QCOMPARE((*starts)[0].program, std::string("xdg-open"));
        QCOMPARE((*starts)[0].arguments, std::vector<std::string>{dir.toStdString()});
        QCOMPARE(int((*starts)[0].style), int(WindowStyle::Normal));
    }

    void commandPerPlatform()
    {
        const CommandLine command = fileManagerCommand("/media/ipod/");
        QCOMPARE(command.program, std::string("xdg-open"));
        QCOMPARE(command.arguments, std::vector<std::string>{"/media/ipod/"});
    }

    // A file manager that cannot be started: the run-time error report, nothing else.
    void failureToStartIsReported()
    {
        FakeMachine machine;
        const auto starts = std::make_shared<std::vector<StartedProcess>>();
        Services services;
        services.fileSystem = [&] { return machine.fileSystem(); };
        services.processStarter = RecordingStarter::factory(
            starts, {PlatformError(ENOENT, "No such file or directory: xdg-open")});
        FrmMain window(services, test::freshSettings());
        QVERIFY(window.BtnOpenDir->isEnabled());

        ModalAnswerer answerer;
        QTest::mouseClick(window.BtnOpenDir, Qt::LeftButton);
        QCOMPARE(answerer.texts(),
                 QStringList{QString("Run-time error '%1':\n\nNo such file or directory: xdg-open")
                                 .arg(ENOENT)});
        QCOMPARE(answerer.titles(), QStringList{"Sondrel"});
        QVERIFY(window.BtnOpenDir->isEnabled());
    }
};

SONDREL_TEST_MAIN(TestOpenExportDirectory)
#include "test_checkopendir.moc"
