// "?" and the About box; "Exit" and the end of the program.

#include "fakemachine.h"
#include "frmabout.h"
#include "frmmain.h"
#include "modalanswerer.h"
#include "testmain.h"
#include "trackgrid.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace sondrel;

class TestDialogsAbout : public QObject
{
    Q_OBJECT

    test::FakeMachine m_machine;

    Services services() const
    {
        Services s;
        const test::FakeMachine *machine = &m_machine;
        s.fileSystem = [machine] { return machine->fileSystem(); };
        return s;
    }

private Q_SLOTS:
    void cleanup() { test::ModalAnswerer::closeLeftovers(); }

    // "?" opens the About box modal over the main window, centred on the screen, with the
    // focus on OK; the main window takes no input meanwhile; OK gives it the focus back.
    void helpOpensTheAboutBoxModal()
    {
        FrmMain main(services(), test::freshSettings());
        main.show();
        QVERIFY(QTest::qWaitForWindowActive(&main));

        bool modal = false, ownedByMain = false, exitIgnored = false;
        QString title, focused;
        QPoint offCentre;
        const bool opened = test::onDialog<FrmAbout>(main.BtnHelp, [&](FrmAbout *about) {
            modal = about->isModal();
            ownedByMain = about->parentWidget() == &main;
            title = about->windowTitle();
            focused = QApplication::focusWidget() ? QApplication::focusWidget()->objectName() : "";
            offCentre = about->geometry().center() - about->screen()->availableGeometry().center();
            // A click on "Exit" through the window system does not reach the blocked window.
            const QPoint exitAt = main.BtnExit->mapTo(&main, main.BtnExit->rect().center());
            QTest::mouseClick(main.windowHandle(), Qt::LeftButton, {}, exitAt);
            QApplication::processEvents();
            exitIgnored = main.isVisible();
            QTest::mouseClick(about->findChild<QPushButton *>("BtnOK"), Qt::LeftButton);
        });

        QVERIFY(opened);
        QVERIFY(modal);
        QVERIFY(ownedByMain);
        QCOMPARE(title, QString("About Sondrel"));
        QCOMPARE(focused, QString("BtnOK"));
        QVERIFY2(qAbs(offCentre.x()) <= 2 && qAbs(offCentre.y()) <= 30,
                 qPrintable(QString("%1,%2").arg(offCentre.x()).arg(offCentre.y())));
        QVERIFY(exitIgnored);
        QVERIFY(!QApplication::activeModalWidget());
        QVERIFY(QTest::qWaitForWindowActive(&main));
        QCOMPARE(QApplication::activeWindow(), &main);
    }

    void aboutBoxContents()
    {
        FrmAbout about;
        QCOMPARE(about.size(), QSize(367, 202));
        const struct
        {
            const char *name;
            QString text;
        } fields[] = {{"Text1", " Sondrel"}, {"Text5", " 1.0"}, {"Text4", " The Sondrel authors"}};
        for (const auto &field : fields) {
            auto *box = about.findChild<QLineEdit *>(field.name);
            QVERIFY2(box, field.name);
            QCOMPARE(box->text(), field.text);
            QVERIFY(box->isReadOnly());
        }
        // The web site and the address come from the build; without them the box shows a blank.
        for (const char *name : {"Text3", "Text2"}) {
            auto *box = about.findChild<QLineEdit *>(name);
            QVERIFY2(box && box->text().startsWith(' '), name);
            QVERIFY(box->isReadOnly());
        }
        QCOMPARE(about.findChild<QLabel *>("Image1")->pixmap().size(), QSize(90, 37));
        for (const char *name : {"Label1", "Label4"})
            QVERIFY(about.findChild<QLabel *>(name)->wordWrap());

        QStringList order;
        QWidget *w = about.findChild<QPushButton *>("BtnOK");
        for (int i = 0; i < 6; ++i, w = w->nextInFocusChain()) {
            while (!(w->focusPolicy() & Qt::TabFocus))
                w = w->nextInFocusChain();
            order << w->objectName();
        }
        QCOMPARE(order, (QStringList{"BtnOK", "Text1", "Text2", "Text3", "Text4", "Text5"}));
        auto *ok = about.findChild<QPushButton *>("BtnOK");
        QVERIFY(!ok->isDefault() && !ok->autoDefault());
    }

    // Each "?" makes a new box.
    void eachHelpMakesANewBox()
    {
        FrmMain main(services(), test::freshSettings());
        QList<const QObject *> seen;
        for (int i = 0; i < 2; ++i) {
            QTimer::singleShot(0, [&] {
                if (QWidget *about = QApplication::activeModalWidget()) {
                    seen << about;
                    QTest::mouseClick(about->findChild<QPushButton *>("BtnOK"), Qt::LeftButton);
                }
            });
            QTest::mouseClick(main.BtnHelp, Qt::LeftButton);
        }
        QCOMPARE(seen.size(), 2);
        QVERIFY(main.findChildren<FrmAbout *>().isEmpty()); // none left behind
    }

    // "Exit" with marked tracks ends the program's event loop at once: no question,
    // nothing written.
    void exitEndsTheProgramAtOnce()
    {
        QTemporaryDir exportDir;
        QVERIFY(exportDir.isValid());
        FrmMain main(services(), test::freshSettings());
        main.state().setExportDirectory(exportDir.path() + "/");
        main.TxtDfltDir->setText(main.state().exportDirectory());
        TrackGrid *grid = main.MSFlexGridSoundList;
        grid->setRows(3);
        for (int r = 1; r <= 2; ++r) {
            grid->setTextMatrix(r, 1, "X");
            grid->setTextMatrix(r, 2, QString::number(r));
        }
        main.LblSelFilesNumI->setText("2");
        main.LblSelFilesNum->setText(" 2 file(s) selected");
        main.BtnSelSound->setEnabled(true);
        main.BtnExport->setEnabled(true);
        main.show();
        QVERIFY(QTest::qWaitForWindowExposed(&main));

        test::ModalAnswerer answerer;
        QTimer::singleShot(0, main.BtnExit,
                           [&] { QTest::mouseClick(main.BtnExit, Qt::LeftButton); });
        QTimer guard; // a hang fails the test
        guard.setSingleShot(true);
        connect(&guard, &QTimer::timeout, qApp, [] { QApplication::exit(99); });
        guard.start(5000);
        QElapsedTimer clock;
        clock.start();
        const int code = QApplication::exec();
        const qint64 took = clock.elapsed();

        QCOMPARE(code, 0);
        QVERIFY2(took < 2000, qPrintable(QString::number(took)));
        QVERIFY(!main.isVisible());
        QCOMPARE(answerer.count(), 0);
        QVERIFY(QDir(exportDir.path())
                    .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden)
                    .isEmpty());
    }
};

SONDREL_TEST_MAIN(TestDialogsAbout)
#include "test_dialogs_about.moc"
