#include "messages.h"
#include "modalanswerer.h"
#include "testmain.h"

#include <QApplication>
#include <QMessageBox>
#include <QTest>

using namespace sondrel;

class TestMessages : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void messagesAreModalOkOnlyWithoutIcon()
    {
        QMessageBox::StandardButtons buttons;
        QMessageBox::Icon icon = QMessageBox::Warning;
        bool modal = false;
        QTimer::singleShot(0, [&] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!box)
                return;
            buttons = box->standardButtons();
            icon = box->icon();
            modal = box->isModal();
        });
        test::ModalAnswerer answerer;
        showMessage(nullptr, "No files were selected");
        QCOMPARE(answerer.texts(), QStringList{"No files were selected"});
        QCOMPARE(answerer.titles(), QStringList{"Sondrel"});
        QCOMPARE(buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
        QCOMPARE(icon, QMessageBox::NoIcon);
        QVERIFY(modal);
    }

    // A platform failure ends the action with the report; the caller goes on.
    void guardedActionsReportAndContinue()
    {
        test::ModalAnswerer answerer;
        bool after = false;
        const bool done = runGuarded(nullptr, [&] {
            throw PlatformError(28, "No space left on device: /export/Song.mp3");
            after = true;
        });
        QVERIFY(!done);
        QVERIFY(!after);
        QCOMPARE(answerer.texts(),
                 QStringList{"Run-time error '28':\n\nNo space left on device: /export/Song.mp3"});
        QVERIFY(runGuarded(nullptr, [] {}));
        QCOMPARE(answerer.count(), 1);
    }

    void waitCursorIsRestoredOnEveryPath()
    {
        {
            WaitCursor wait;
            QVERIFY(QApplication::overrideCursor());
            QCOMPARE(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
            wait.restore();
            QVERIFY(!QApplication::overrideCursor());
        }
        QVERIFY(!QApplication::overrideCursor());
        try {
            WaitCursor wait;
            throw PlatformError(2, "gone");
        } catch (const PlatformError &) {
        }
        QVERIFY(!QApplication::overrideCursor());
    }
};

SONDREL_TEST_MAIN(TestMessages)
#include "test_messages.moc"
