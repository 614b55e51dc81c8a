// VemoSetup's window driven as the user drives it: install, change, finish and cancel.
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <unistd.h>

#include "frmchgdir.h"
#include "modalanswerer.h"
#include "otheruser.h"
#include "setupmachine.h"
#include "setupwindow.h"
#include "testmain.h"

using namespace sondrel;
using sondrel::setup::FrmMain;
using sondrel::test::ModalAnswerer;
using sondrel::test::SetupMachine;

namespace {

const QString Success = QStringLiteral("Installation completed successfully!");
const QString Extract = QStringLiteral(
    "Please extract ALL the files included in Sondrel.zip files to the same directory.");

template <typename T> T *child(const QWidget &window, const char *name)
{
    return window.findChild<T *>(QLatin1String(name));
}

// Presses "Install Sondrel" and returns the texts of the message boxes it showed.
QStringList clickInstall(FrmMain &window, QStringList *titles = nullptr)
{
    ModalAnswerer answerer;
    QTest::mouseClick(child<QPushButton>(window, "BtnInstall"), Qt::LeftButton);
    if (titles)
        *titles = answerer.titles();
    return answerer.texts();
}

// Presses "Change" and, in the dialog, double-clicks in turn the entries named by the steps
// of `folder` ("a/b": the entry "a", then "b"; none when empty), then presses OK or Cancel.
// Returns the dialog's prompt.
QString changeDirectory(FrmMain &window, const QString &folder, bool ok = true)
{
    QString prompt;
    QTimer timer;
    timer.setInterval(10);
    QObject::connect(&timer, &QTimer::timeout, [&] {
        auto *dialog = qobject_cast<FrmChgDir *>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        timer.stop();
        prompt = dialog->findChild<QLabel *>(QStringLiteral("Label1"))->text();
        if (dialog->parentWidget() != &window)
            prompt = QStringLiteral("(not owned by the installer window)");
        auto *list = dialog->findChild<DirList *>(QStringLiteral("Dir1"));
        for (const QString &step : folder.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
            const QList<QTreeWidgetItem *> found =
                list->findItems(step, Qt::MatchExactly | Qt::MatchRecursive);
            if (found.isEmpty())
                break;
            list->scrollToItem(found.first());
            const QPoint at = list->visualItemRect(found.first()).center();
            // A double click is a press on the entry followed by a second, double press.
            QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
            QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
        }
        QTest::mouseClick(dialog->findChild<QPushButton *>(ok ? QStringLiteral("BtnOK")
                                                              : QStringLiteral("BtnCancel")),
                          Qt::LeftButton);
    });
    timer.start();
    QTest::mouseClick(child<QPushButton>(window, "BtnChgDir"), Qt::LeftButton);
    return prompt;
}

void writeScript(const QString &path, const QByteArray &text)
{
    SetupMachine::writeFile(path, text);
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

} // namespace

class TestSetupWindow : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanup();

    void layout_data();
    void layout();
    void windowAndFonts();
    void tabOrder();
    void directoryCannotBeTyped();

    void completedInstallEnablesFinish();
    void stoppedInstallLeavesFinishDisabled();
    void failedRegistrationIsReported();
    void failedInstallKeepsInstallerRunning();
    void failedInstallWithoutPermission();
    void unsafeFolderIsRefused();

    void changeSetsDirectory();
    void changeCancelled();

    void finish_data();
    void finish();
    void finishStartsPathWithBlanks();
    void finishAfterChangeFails();
    void finishCannotBePressedBeforeInstall();

    void cancel_data();
    void cancel();
    void cancelAfterInstallKeepsInstallation();

private:
    QString m_startDirectory;
};

void TestSetupWindow::initTestCase()
{
    QApplication::setApplicationName(QStringLiteral("VemoSetup"));
    QApplication::setQuitOnLastWindowClosed(false);
    m_startDirectory = QDir::currentPath();
}

void TestSetupWindow::cleanup()
{
    ModalAnswerer::closeLeftovers();
    QDir::setCurrent(m_startDirectory);
}

void TestSetupWindow::layout_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QRect>("twipsRect");

    QTest::newRow("Image1") << "Image1"
                            << "" << QRect(120, 120, 1350, 555);
    QTest::newRow("Label1") << "Label1"
                            << "installation" << QRect(1560, 240, 2055, 495);
    QTest::newRow("Label2") << "Label2"
                            << " Sondrel will be installed in the following directory:"
                            << QRect(360, 960, 4095, 255);
    QTest::newRow("BtnChgDir") << "BtnChgDir"
                               << "Change" << QRect(4680, 960, 855, 495);
    QTest::newRow("TxtInstallDir") << "TxtInstallDir"
                                   << "/opt/Sondrel/" << QRect(360, 1200, 4215, 285);
    QTest::newRow("Label3") << "Label3"
                            << "Create shortcuts ?" << QRect(1140, 1920, 3495, 255);
    QTest::newRow("ChkStartMenu") << "ChkStartMenu"
                                  << "Start Menu" << QRect(1140, 2280, 1455, 255);
    QTest::newRow("ChkDesktop") << "ChkDesktop"
                                << "Desktop" << QRect(2940, 2280, 1695, 255);
    QTest::newRow("BtnInstall") << "BtnInstall"
                                << "Install Sondrel" << QRect(1080, 3000, 1335, 615);
    QTest::newRow("BtnCancel") << "BtnCancel"
                               << "Cancel installation" << QRect(3360, 3000, 1335, 615);
    QTest::newRow("Frame1") << "Frame1"
                            << " Sondrel " << QRect(720, 3960, 4335, 855);
    QTest::newRow("ChkFinish") << "ChkFinish"
                               << "Start Sondrel" << QRect(240, 360, 1815, 375);
    QTest::newRow("BtnFinish") << "BtnFinish"
                               << "Finish installation" << QRect(2400, 240, 1695, 495);
    QTest::newRow("Line1") << "Line1"
                           << "" << QRect(120, 720, 5520, 15);
    QTest::newRow("Line2") << "Line2"
                           << "" << QRect(120, 1680, 5520, 15);
    QTest::newRow("Line3") << "Line3"
                           << "" << QRect(120, 2760, 5400, 15);
    QTest::newRow("Line4") << "Line4"
                           << "" << QRect(120, 3840, 5400, 15);
}

void TestSetupWindow::layout()
{
    QFETCH(QString, name);
    QFETCH(QString, caption);
    QFETCH(QRect, twipsRect);
    const FrmMain window;
    auto *widget = window.findChild<QWidget *>(name);
    QVERIFY(widget);

    QString text;
    if (auto *label = qobject_cast<QLabel *>(widget))
        text = label->text();
    else if (auto *button = qobject_cast<QAbstractButton *>(widget))
        text = button->text();
    else if (auto *box = qobject_cast<QLineEdit *>(widget))
        text = box->text();
    else if (auto *frame = qobject_cast<QGroupBox *>(widget))
        text = frame->title();
    QCOMPARE(text, caption);

    const QRect pixels(twips(twipsRect.x()), twips(twipsRect.y()), twips(twipsRect.width()),
                       twips(twipsRect.height()));
    QCOMPARE(widget->geometry(), pixels);
    if (auto *button = qobject_cast<QPushButton *>(widget)) {
        QVERIFY(!button->isDefault());
        QVERIFY(!button->autoDefault());
    }
    if (auto *line = qobject_cast<QFrame *>(widget); line && name.startsWith("Line"))
        QCOMPARE(line->frameShape(), QFrame::HLine);
    // The frame's controls sit inside it.
    if (name == "ChkFinish" || name == "BtnFinish")
        QCOMPARE(widget->parentWidget()->objectName(), QString("Frame1"));
}

void TestSetupWindow::windowAndFonts()
{
    const FrmMain window;
    QCOMPARE(window.objectName(), QString("FrmMain"));
    QCOMPARE(window.windowTitle(), QString("Sondrel installation"));
    QCOMPARE(window.size(), QSize(twips(5775), twips(4935)));
    QVERIFY(window.windowFlags() & Qt::WindowMinimizeButtonHint);
    QVERIFY(!(window.windowFlags() & Qt::WindowMaximizeButtonHint));
    // Sizable: no fixed size.
    QVERIFY(window.minimumSize() != window.maximumSize());

    QCOMPARE(window.DfltInstallDir, QString("/opt/Sondrel/"));
    QCOMPARE(window.TxtInstallDir->text(), window.DfltInstallDir);
    QVERIFY(window.TxtInstallDir->isReadOnly());
    QVERIFY(!window.BtnFinish->isEnabled());
    for (QCheckBox *box : {window.ChkStartMenu, window.ChkDesktop, window.ChkFinish}) {
        QVERIFY(!box->isChecked());
        QVERIFY(box->isEnabled());
    }
    QCOMPARE(window.Image1->pixmap().size(), QSize(90, 37));

    const QFont regular = tahoma();
    for (QWidget *widget : std::initializer_list<QWidget *>{
             window.Label2, window.BtnChgDir, window.TxtInstallDir, window.Label3,
             window.ChkStartMenu, window.ChkDesktop, window.BtnCancel, window.Frame1,
             window.ChkFinish, window.BtnFinish}) {
        QCOMPARE(widget->font().family(), regular.family());
        QCOMPARE(widget->font().pixelSize(), regular.pixelSize());
        QVERIFY2(!widget->font().bold(), qPrintable(widget->objectName()));
    }
    QCOMPARE(window.BtnInstall->font().pixelSize(), regular.pixelSize());
    QVERIFY(window.BtnInstall->font().bold());
    QCOMPARE(window.Label1->font().pixelSize(), tahoma(18, true).pixelSize());
    QVERIFY(window.Label1->font().bold());
    QVERIFY(window.Label1->autoFillBackground());
    QVERIFY(window.Label1->palette().color(QPalette::WindowText) !=
            window.Label1->palette().color(QPalette::Window));
}

void TestSetupWindow::tabOrder()
{
    FrmMain window;
    window.show();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    QCOMPARE(QApplication::focusWidget(), window.BtnChgDir);

    const QList<QWidget *> order{window.BtnChgDir,     window.ChkStartMenu, window.ChkDesktop,
                                 window.ChkFinish,     window.BtnFinish,    window.BtnCancel,
                                 window.TxtInstallDir, window.BtnInstall};
    QList<QWidget *> chain;
    QWidget *at = window.BtnChgDir;
    do {
        if (order.contains(at))
            chain << at;
        at = at->nextInFocusChain();
    } while (at != window.BtnChgDir);
    QCOMPARE(chain, order);

    // Tab skips the disabled "Finish installation".
    QStringList visited;
    for (int i = 0; i < 7; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        visited << QApplication::focusWidget()->objectName();
    }
    QCOMPARE(visited, (QStringList{"ChkStartMenu", "ChkDesktop", "ChkFinish", "BtnCancel",
                                   "TxtInstallDir", "BtnInstall", "BtnChgDir"}));
}

void TestSetupWindow::directoryCannotBeTyped()
{
    FrmMain window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    window.TxtInstallDir->setFocus();
    QTest::keyClicks(window.TxtInstallDir, "/home/me/");
    QTest::keyClick(window.TxtInstallDir, Qt::Key_Backspace);
    QCOMPARE(window.TxtInstallDir->text(), QString("/opt/Sondrel/"));
    QCOMPARE(window.DfltInstallDir, QString("/opt/Sondrel/"));
}

void TestSetupWindow::completedInstallEnablesFinish()
{
    SetupMachine machine;
    machine.extract();
    FrmMain window(machine.services());
    window.DfltInstallDir = machine.installDir();
    window.ChkDesktop->setChecked(true);
    window.show();

    QStringList titles;
    QCOMPARE(clickInstall(window, &titles), QStringList{Success});
    QCOMPARE(titles, QStringList{"VemoSetup"});
    QVERIFY(window.BtnFinish->isEnabled());
    // The files have left W: "Install Sondrel" cannot be pressed again.
    QVERIFY(!window.BtnInstall->isEnabled());
    for (QWidget *still :
         std::initializer_list<QWidget *>{window.BtnChgDir, window.BtnCancel, window.ChkFinish})
        QVERIFY(still->isEnabled());
    QVERIFY(window.ChkDesktop->isChecked());
    QVERIFY(!window.ChkStartMenu->isChecked());
    QVERIFY(QFileInfo::exists(machine.desktop + "/Sondrel.desktop"));
    QVERIFY(!QFileInfo::exists(machine.programs + "/Sondrel.desktop"));
    QCOMPARE(SetupMachine::readFile(machine.installDir() + "Sondrel"), QByteArray("new program"));

    // A second press does nothing: no extract message, nothing started, nothing moved.
    QCOMPARE(clickInstall(window), QStringList());
    QVERIFY(window.BtnFinish->isEnabled());
    QCOMPARE(machine.started->size(), std::size_t(1));
    QCOMPARE(SetupMachine::readFile(machine.installDir() + "Sondrel"), QByteArray("new program"));
}

void TestSetupWindow::stoppedInstallLeavesFinishDisabled()
{
    SetupMachine machine;
    machine.extract(true, false, true);
    FrmMain window(machine.services());
    window.DfltInstallDir = machine.installDir();
    window.show();

    QStringList titles;
    QCOMPARE(clickInstall(window, &titles), QStringList{Extract});
    QCOMPARE(titles, QStringList{"VemoSetup"});
    QVERIFY(!window.BtnFinish->isEnabled());
    QVERIFY(window.isVisible());
}

// A failed registration is the run-time error report naming the command and its status;
// there is no success message and Finish stays disabled.
void TestSetupWindow::failedRegistrationIsReported()
{
    SetupMachine machine;
    machine.extract();
    machine.registrationStatus = 1;
    FrmMain window(machine.services());
    window.DfltInstallDir = machine.installDir();
    window.show();

    QCOMPARE(clickInstall(window),
             QStringList{"Run-time error '1':\n\n\"/sbin/ldconfig\" ended with exit status 1"});
    QVERIFY(!window.BtnFinish->isEnabled());
    QVERIFY(window.BtnInstall->isEnabled());
}

// A failed operation shows the run-time error report and ends only the attempt: the user
// picks another directory with "Change" and installs there.
void TestSetupWindow::failedInstallKeepsInstallerRunning()
{
    SetupMachine machine;
    machine.extract();
    QDir().mkpath(machine.path("targets/taken/Sondrel"));
    QDir().mkpath(machine.path("targets/good"));
    FrmMain window(machine.services());
    window.DfltInstallDir = machine.path("targets/");
    window.show();

    changeDirectory(window, "taken");
    QCOMPARE(window.DfltInstallDir, machine.path("targets/taken/"));
    const QStringList report = clickInstall(window);
    QCOMPARE(report.size(), 1);
    QVERIFY2(report.front().startsWith("Run-time error '21':\n\n"), qPrintable(report.front()));
    QVERIFY(report.front().contains(machine.path("targets/taken/Sondrel")));
    // The program did not take the folder's place: it is still in W.
    QCOMPARE(SetupMachine::readFile(machine.work + "/Sondrel"), QByteArray("new program"));
    QVERIFY(window.isVisible());
    QVERIFY(!window.BtnFinish->isEnabled());
    QVERIFY(window.BtnInstall->isEnabled());

    changeDirectory(window, "targets/good"); // up from "taken", where the dialog opens
    QCOMPARE(window.TxtInstallDir->text(), machine.path("targets/good/"));
    QCOMPARE(clickInstall(window), QStringList{Success});
    QVERIFY(window.BtnFinish->isEnabled());
    QCOMPARE(SetupMachine::readFile(machine.path("targets/good/Sondrel")),
             QByteArray("new program"));
    // The grid control file was placed by the first attempt and registered by both.
    QCOMPARE(machine.started->size(), std::size_t(2));
}

void TestSetupWindow::failedInstallWithoutPermission()
{
    if (::geteuid() == 0)
        QSKIP("running as root: every folder is writable");
    SetupMachine machine;
    machine.extract();
    FrmMain window(machine.services());
    window.DfltInstallDir = machine.installDir();
    window.show();
    QFile::setPermissions(machine.installParent, QFile::ReadOwner | QFile::ExeOwner);
    const QStringList report = clickInstall(window);
    QFile::setPermissions(machine.installParent,
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QCOMPARE(report.size(), 1);
    QVERIFY2(report.front().startsWith("Run-time error '13':"), qPrintable(report.front()));
    QVERIFY(window.isVisible());
    QCOMPARE(clickInstall(window), QStringList{Success});
}

// Run as root, a directory in a folder that another user owns is refused with the message
// naming that folder; nothing is installed, and another directory can be chosen.
void TestSetupWindow::unsafeFolderIsRefused()
{
    if (::geteuid() != 0)
        QSKIP("needs root: only an install run as root checks its folders");
    SetupMachine machine;
    machine.extract();
    const QString home = QFileInfo(machine.path("home")).canonicalFilePath();
    QCOMPARE(::chown(QFile::encodeName(home).constData(), test::OtherUid, test::OtherUid), 0);
    FrmMain window(machine.services());
    window.DfltInstallDir = home + "/Sondrel/";
    window.show();
    const QStringList before = machine.snapshot();

    QStringList titles;
    QCOMPARE(clickInstall(window, &titles), QStringList{setup::unsafeFolderMessage(home)});
    QCOMPARE(titles, QStringList{"VemoSetup"});
    QCOMPARE(machine.snapshot(), before);
    QVERIFY(machine.started->empty());
    QVERIFY(!window.BtnFinish->isEnabled());
    QVERIFY(window.BtnInstall->isEnabled());

    window.DfltInstallDir = machine.installDir();
    QCOMPARE(clickInstall(window), QStringList{Success});
}

void TestSetupWindow::changeSetsDirectory()
{
    SetupMachine machine;
    QDir().mkpath(machine.path("targets/Program Files"));
    QVERIFY(QDir::setCurrent(machine.path("work")));
    FrmMain window(machine.services());
    window.DfltInstallDir = machine.path("targets/Sondrel/"); // not made yet: its parent opens
    window.show();

    QCOMPARE(changeDirectory(window, "Program Files"),
             QString("Choose the installation directory"));
    QCOMPARE(window.DfltInstallDir, machine.path("targets/Program Files/"));
    QCOMPARE(window.TxtInstallDir->text(), window.DfltInstallDir);
    // OK without opening a folder keeps the setting, with one separator.
    changeDirectory(window, QString());
    QCOMPARE(window.DfltInstallDir, machine.path("targets/Program Files/"));
}

void TestSetupWindow::changeCancelled()
{
    SetupMachine machine;
    QDir().mkpath(machine.path("targets/other"));
    FrmMain window(machine.services());
    window.DfltInstallDir = machine.path("targets/");
    window.show();
    window.TxtInstallDir->setText(window.DfltInstallDir);
    changeDirectory(window, "other", false);
    QCOMPARE(window.DfltInstallDir, machine.path("targets/"));
    QCOMPARE(window.TxtInstallDir->text(), machine.path("targets/"));
}

void TestSetupWindow::finish_data()
{
    QTest::addColumn<bool>("start"); // "Start Sondrel" checked
    QTest::newRow("starting the program") << true;
    QTest::newRow("without starting it") << false;
}

void TestSetupWindow::finish()
{
    QFETCH(bool, start);
    SetupMachine machine;
    machine.extract();
    FrmMain window(machine.services());
    window.DfltInstallDir = machine.installDir();
    window.show();
    QCOMPARE(clickInstall(window), QStringList{Success});

    window.ChkFinish->setChecked(start);
    QTest::mouseClick(window.BtnFinish, Qt::LeftButton);
    QVERIFY(!window.isVisible());
    QVERIFY(QFileInfo::exists(machine.installDir() + "Sondrel"));
    // The registration with the installer's rights, the program for the desktop's user.
    QCOMPARE(machine.started->size(), std::size_t(1));
    QCOMPARE(machine.startedForUser->size(), std::size_t(start ? 1 : 0));
    if (start) {
        const auto &program = machine.startedForUser->back();
        QCOMPARE(QString::fromStdString(program.program), machine.installDir() + "Sondrel");
        QVERIFY(program.arguments.empty());
        QCOMPARE(program.style, WindowStyle::Normal);
    }
}

// The installed program is started by its path as one argument: blanks in the install
// directory cannot split it. Runs a real process (a script standing in for Sondrel).
void TestSetupWindow::finishStartsPathWithBlanks()
{
    SetupMachine machine;
    machine.extract(false);
    SetupMachine::writeFile(machine.system + "/libtrackgrid.so.1",
                            "placed before"); // nothing to register
    writeScript(machine.work + "/Sondrel", "#!/bin/sh\nprintf '%s' \"$0\" > \"$0.started\"\n");
    auto services = machine.services();
    services.desktopStarter = createProcessStarter;
    QDir().mkpath(machine.path("Program Files"));
    const QString d = machine.path("Program Files/Sondrel App/");

    FrmMain window(services);
    window.DfltInstallDir = d;
    window.show();
    QCOMPARE(clickInstall(window), QStringList{Success});
    window.ChkFinish->setChecked(true);
    ModalAnswerer answerer;
    QTest::mouseClick(window.BtnFinish, Qt::LeftButton);
    QCOMPARE(answerer.count(), 0);
    QVERIFY(!window.isVisible());
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(d + "Sondrel.started"), 5000);
    QTRY_COMPARE_WITH_TIMEOUT(QString::fromUtf8(SetupMachine::readFile(d + "Sondrel.started")),
                              d + "Sondrel", 5000);
}

// Finish looks for the program in the directory the window shows now: after "Change" to
// another folder it is not there, the report is shown and the installer stays open.
void TestSetupWindow::finishAfterChangeFails()
{
    SetupMachine machine;
    machine.extract(false);
    SetupMachine::writeFile(machine.system + "/libtrackgrid.so.1", "placed before");
    QDir().mkpath(machine.path("targets/elsewhere"));
    auto services = machine.services();
    services.desktopStarter = createProcessStarter;
    FrmMain window(services);
    window.DfltInstallDir = machine.installDir();
    window.show();
    QCOMPARE(clickInstall(window), QStringList{Success});

    changeDirectory(window, QFileInfo(machine.root.path()).fileName() + "/targets/elsewhere");
    window.ChkFinish->setChecked(true);
    {
        ModalAnswerer answerer;
        QTest::mouseClick(window.BtnFinish, Qt::LeftButton);
        QCOMPARE(answerer.count(), 1);
        QCOMPARE(answerer.lastText(), "Run-time error '2':\n\nNo such file or directory: " +
                                          machine.path("targets/elsewhere/Sondrel"));
    }
    QVERIFY(window.isVisible());
    QVERIFY(QFileInfo::exists(machine.installDir() + "Sondrel"));

    // Unchecked, Finish closes the installer.
    window.ChkFinish->setChecked(false);
    QTest::mouseClick(window.BtnFinish, Qt::LeftButton);
    QVERIFY(!window.isVisible());
}

void TestSetupWindow::finishCannotBePressedBeforeInstall()
{
    SetupMachine machine;
    FrmMain window(machine.services());
    window.ChkFinish->setChecked(true);
    window.show();
    QTest::mouseClick(window.BtnFinish, Qt::LeftButton);
    QVERIFY(window.isVisible());
    QVERIFY(machine.started->empty());
    QVERIFY(machine.startedForUser->empty());
}

void TestSetupWindow::cancel_data()
{
    QTest::addColumn<bool>("closeBox");
    QTest::newRow("Cancel installation") << false;
    QTest::newRow("close box") << true;
}

void TestSetupWindow::cancel()
{
    QFETCH(bool, closeBox);
    SetupMachine machine;
    machine.extract();
    SetupMachine::writeFile(machine.installDir() + "Sondrel", "old program");
    const QStringList before = machine.snapshot();
    FrmMain window(machine.services());
    window.DfltInstallDir = machine.installDir();
    window.ChkStartMenu->setChecked(true);
    window.ChkFinish->setChecked(true);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    if (closeBox)
        window.close();
    else
        QTest::mouseClick(window.BtnCancel, Qt::LeftButton);
    QVERIFY(!window.isVisible());
    QCOMPARE(machine.snapshot(), before);
    QVERIFY(machine.started->empty());
    QCOMPARE(*machine.shellsMade, 0);
}

void TestSetupWindow::cancelAfterInstallKeepsInstallation()
{
    SetupMachine machine;
    machine.extract();
    FrmMain window(machine.services());
    window.DfltInstallDir = machine.installDir();
    window.ChkStartMenu->setChecked(true);
    window.show();
    QCOMPARE(clickInstall(window), QStringList{Success});
    const QStringList installed = machine.snapshot();

    QTest::mouseClick(window.BtnCancel, Qt::LeftButton);
    QVERIFY(!window.isVisible());
    QCOMPARE(machine.snapshot(), installed);
    QCOMPARE(machine.started->size(), std::size_t(1));
}

SONDREL_TEST_MAIN(TestSetupWindow)
#include "test_setupwindow.moc"
