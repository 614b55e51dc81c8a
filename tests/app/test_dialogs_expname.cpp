// The export-name composer, opened from the main window's "Export name" button.

#include "fakemachine.h"
#include "frmchgexpname.h"
#include "frmmain.h"
#include "modalanswerer.h"
#include "testmain.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QStyle>
#include <QTest>

#include <functional>

using namespace sondrel;

namespace {

const QString TitleMessage = "You need to choose at least the 'Title' field";

// Clicks the main window's "Export name" and runs `act` on the composer it opens.
bool onComposer(FrmMain &main, const std::function<void(FrmChgExpName *)> &act)
{
    return test::onDialog<FrmChgExpName>(main.BtnChangeExpName, act);
}

QListWidget *listOf(FrmChgExpName *dialog)
{
    return dialog->findChild<QListWidget *>("ListFields");
}

void press(FrmChgExpName *dialog, const char *button)
{
    QTest::mouseClick(dialog->findChild<QPushButton *>(button), Qt::LeftButton);
}

// A click on an entry's check box, as the user makes it.
void clickCheckBox(QListWidget *list, int row)
{
    const QRect rect = list->visualItemRect(list->item(row));
    const int margin = list->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, list) + 1;
    const int indicator = list->style()->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, list);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                      QPoint(rect.left() + margin + indicator / 2, rect.center().y()));
}

void highlight(QListWidget *list, int row)
{
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                      list->visualItemRect(list->item(row)).center());
}

// The list as "Label+" (chosen) or "Label-" entries, with field numbers.
QStringList shown(const NameFields &fields)
{
    QStringList result;
    for (const NameField &field : fields)
        result << QString("%1%2%3").arg(field.label, field.chosen ? "+" : "-").arg(field.field);
    return result;
}

// The five entries added after the first five, unchecked at start.
const QStringList Later{"Track-13", "Disc-15", "Year-14", "AlbumArtist-17", "Composer-16"};
const QStringList Defaults =
    QStringList{"Genre+8", "Artist+7", "Title+4", "Album+6", "ID+1"} + Later;

Services noDrives(const test::FakeMachine &machine)
{
    Services s;
    s.fileSystem = [&machine] { return machine.fileSystem(); };
    return s;
}

} // namespace

class TestDialogsExpName : public QObject
{
    Q_OBJECT

    test::FakeMachine m_machine;

private Q_SLOTS:
    void cleanup() { test::ModalAnswerer::closeLeftovers(); }

    void firstOpeningShowsTheStartUpList()
    {
        FrmMain main(noDrives(m_machine), test::freshSettings());
        QStringList list;
        int highlighted = -1;
        QString focused;
        QVERIFY(onComposer(main, [&](FrmChgExpName *dialog) {
            list = shown(dialog->fields());
            highlighted = listOf(dialog)->currentRow();
            focused = QApplication::focusWidget() ? QApplication::focusWidget()->objectName() : "";
        }));
        QCOMPARE(list, Defaults);
        QCOMPARE(highlighted, 0);
        QCOMPARE(focused, QString("ListFields"));
    }

    // Moves and check-box clicks: "check N" clicks the check box of entry N, which
    // toggles it, highlights it, and the mark travels with its label.
    void moves_data()
    {
        QTest::addColumn<int>("start");
        QTest::addColumn<QStringList>("buttons"); // "BtnUp", "BtnDown" or "check N"
        QTest::addColumn<QStringList>("order");
        QTest::addColumn<int>("highlighted");

        QTest::newRow("Up at the top does nothing") << 0 << QStringList{"BtnUp"} << Defaults << 0;
        QTest::newRow("Down at the bottom does nothing")
            << 9 << QStringList{"BtnDown"} << Defaults << 9;
        QTest::newRow("Title up three times stops at the top")
            << 2 << QStringList{"BtnUp", "BtnUp", "BtnUp"}
            << QStringList{"Title+4", "Genre+8", "Artist+7", "Album+6", "ID+1"} + Later << 0;
        QTest::newRow("Genre down past ID")
            << 0 << QStringList{"BtnDown", "BtnDown", "BtnDown", "BtnDown", "BtnDown"}
            << QStringList{"Artist+7", "Title+4", "Album+6", "ID+1",           "Track-13",
                           "Genre+8",  "Disc-15", "Year-14", "AlbumArtist-17", "Composer-16"}
            << 5;
        QTest::newRow("down then up is no change")
            << 1 << QStringList{"BtnDown", "BtnUp"} << Defaults << 1;
        QTest::newRow("a check-box click highlights its entry")
            << 0 << QStringList{"check 3"}
            << QStringList{"Genre+8", "Artist+7", "Title+4", "Album-6", "ID+1"} + Later << 3;
        QTest::newRow("the check mark travels with its label")
            << 0 << QStringList{"check 3", "BtnUp", "BtnUp"}
            << QStringList{"Genre+8", "Album-6", "Artist+7", "Title+4", "ID+1"} + Later << 1;
    }

    void moves()
    {
        QFETCH(int, start);
        QFETCH(QStringList, buttons);
        QFETCH(QStringList, order);
        QFETCH(int, highlighted);
        FrmMain main(noDrives(m_machine), test::freshSettings());
        QStringList after;
        int at = -1;
        QVERIFY(onComposer(main, [&](FrmChgExpName *dialog) {
            highlight(listOf(dialog), start);
            for (const QString &button : buttons) {
                if (button.startsWith("check "))
                    clickCheckBox(listOf(dialog), button.mid(6).toInt());
                else
                    press(dialog, qPrintable(button));
            }
            after = shown(dialog->fields());
            at = listOf(dialog)->currentRow();
        }));
        QCOMPARE(after, order);
        QCOMPARE(at, highlighted);
        QCOMPARE(shown(main.state().nameFields()), Defaults); // nothing confirmed
    }

    void okRefusedWithoutTitle_data()
    {
        QTest::addColumn<QList<int>>("unchecked");
        QTest::newRow("every entry unchecked") << QList<int>{0, 1, 2, 3, 4};
        QTest::newRow("only Title unchecked") << QList<int>{2};
    }

    // The refusal leaves the dialog open with its list as the user left it, and the
    // main window as it was.
    void okRefusedWithoutTitle()
    {
        QFETCH(QList<int>, unchecked);
        FrmMain main(noDrives(m_machine), test::freshSettings());
        test::ModalAnswerer answerer;
        bool stayedOpen = false;
        QStringList listAfter, expected = Defaults;
        for (int row : unchecked)
            expected[row].replace('+', '-');
        QVERIFY(onComposer(main, [&](FrmChgExpName *dialog) {
            for (int row : unchecked)
                clickCheckBox(listOf(dialog), row);
            press(dialog, "BtnOK");
            stayedOpen = dialog->isVisible() && QApplication::activeModalWidget() == dialog;
            listAfter = shown(dialog->fields());
        }));
        QCOMPARE(answerer.texts(), QStringList{TitleMessage});
        QCOMPARE(answerer.titles(), QStringList{"Sondrel"});
        QVERIFY(stayedOpen);
        QCOMPARE(listAfter, expected);
        QCOMPARE(shown(main.state().nameFields()), Defaults);
        QCOMPARE(main.state().exportName(), QString());
        QCOMPARE(main.TxtExpName->text(), QString("Genre_Artist_Title_Album_ID"));
    }

    void okConfirms_data()
    {
        QTest::addColumn<QList<int>>("unchecked");
        QTest::addColumn<int>("moveDownFrom"); // -1: no move
        QTest::addColumn<QString>("expName");
        QTest::addColumn<QStringList>("list");

        QTest::newRow("all five as they stand")
            << QList<int>{} << -1 << "Genre_Artist_Title_Album_ID" << Defaults;
        QTest::newRow("Title only")
            << QList<int>{0, 1, 3, 4} << -1 << "Title"
            << QStringList{"Genre-8", "Artist-7", "Title+4", "Album-6", "ID-1"} + Later;
        QTest::newRow("Title_Artist: Artist moved below Title")
            << QList<int>{0, 3, 4} << 1 << "Title_Artist"
            << QStringList{"Genre-8", "Title+4", "Artist+7", "Album-6", "ID-1"} + Later;
        QTest::newRow("ID is an ordinary field")
            << QList<int>{0, 1, 3} << 3 << "Title_ID"
            << QStringList{"Genre-8", "Artist-7", "Title+4", "ID+1", "Album-6"} + Later;
        QTest::newRow("later entries checked")
            << QList<int>{0, 1, 3, 4, 5, 7, 9} << -1 << "Title_Track_Year_Composer"
            << QStringList{"Genre-8",  "Artist-7", "Title+4", "Album-6",        "ID-1",
                           "Track+13", "Disc-15",  "Year+14", "AlbumArtist-17", "Composer+16"};
    }

    void okConfirms()
    {
        QFETCH(QList<int>, unchecked);
        QFETCH(int, moveDownFrom);
        QFETCH(QString, expName);
        QFETCH(QStringList, list);
        FrmMain main(noDrives(m_machine), test::freshSettings());
        test::ModalAnswerer answerer;
        bool closed = false;
        QVERIFY(onComposer(main, [&](FrmChgExpName *dialog) {
            for (int row : unchecked)
                clickCheckBox(listOf(dialog), row);
            if (moveDownFrom >= 0) {
                highlight(listOf(dialog), moveDownFrom);
                press(dialog, "BtnDown");
            }
            press(dialog, "BtnOK");
            closed = !dialog->isVisible();
        }));
        QVERIFY(closed);
        QCOMPARE(answerer.count(), 0);
        QCOMPARE(main.state().exportName(), expName);
        QCOMPARE(main.TxtExpName->text(), expName);
        QCOMPARE(shown(main.state().nameFields()), list);

        // The next opening shows the confirmed list, highlighted at the top.
        QStringList reopened;
        int highlighted = -1;
        QVERIFY(onComposer(main, [&](FrmChgExpName *dialog) {
            reopened = shown(dialog->fields());
            highlighted = listOf(dialog)->currentRow();
        }));
        QCOMPARE(reopened, list);
        QCOMPARE(highlighted, 0);
    }

    void cancelDiscards_data()
    {
        QTest::addColumn<bool>("closeBox");
        QTest::newRow("Cancel") << false;
        QTest::newRow("close box") << true;
    }

    // Reorders and unchecks are dropped; the next opening shows the list last confirmed.
    void cancelDiscards()
    {
        QFETCH(bool, closeBox);
        FrmMain main(noDrives(m_machine), test::freshSettings());
        QVERIFY(onComposer(main, [&](FrmChgExpName *dialog) {
            clickCheckBox(listOf(dialog), 0); // Genre off
            press(dialog, "BtnOK");
        }));
        const QStringList confirmed =
            QStringList{"Genre-8", "Artist+7", "Title+4", "Album+6", "ID+1"} + Later;
        QCOMPARE(shown(main.state().nameFields()), confirmed);
        QCOMPARE(main.state().exportName(), QString("Artist_Title_Album_ID"));

        bool closed = false;
        QVERIFY(onComposer(main, [&](FrmChgExpName *dialog) {
            highlight(listOf(dialog), 4);
            press(dialog, "BtnUp");
            press(dialog, "BtnUp");
            clickCheckBox(listOf(dialog), 1);
            clickCheckBox(listOf(dialog), 0);
            clickCheckBox(listOf(dialog), 8);
            QTest::mouseClick(dialog->ChkFolders, Qt::LeftButton);
            QTest::mouseClick(dialog->ChkPlaylists, Qt::LeftButton);
            QTest::keyClick(dialog, Qt::Key_Escape); // no cancel key
            if (closeBox)
                dialog->close();
            else
                press(dialog, "BtnCancel");
            closed = !dialog->isVisible();
        }));
        QVERIFY(closed);
        QCOMPARE(shown(main.state().nameFields()), confirmed);
        QCOMPARE(main.state().exportName(), QString("Artist_Title_Album_ID"));
        QCOMPARE(main.TxtExpName->text(), QString("Artist_Title_Album_ID"));
        QCOMPARE(main.state().exportOptions(), ExportOptions{});

        QStringList reopened;
        QVERIFY(
            onComposer(main, [&](FrmChgExpName *dialog) { reopened = shown(dialog->fields()); }));
        QCOMPARE(reopened, confirmed);
    }

    void layout()
    {
        FrmMain main(noDrives(m_machine), test::freshSettings());
        QString title, label;
        QRect area;
        QPoint screenCorner;
        bool sizable = false;
        QStringList focusOrder;
        bool noDefaultButton = true;
        QSize arrows;
        QVERIFY(onComposer(main, [&](FrmChgExpName *dialog) {
            title = dialog->windowTitle();
            label = dialog->findChild<QLabel *>("Label1")->text();
            area = dialog->geometry();
            screenCorner = dialog->screen()->geometry().topLeft();
            sizable = dialog->minimumSize() != dialog->maximumSize();
            QWidget *w = listOf(dialog);
            for (int i = 0; i < 11; ++i, w = w->nextInFocusChain()) {
                while (!(w->focusPolicy() & Qt::TabFocus))
                    w = w->nextInFocusChain();
                focusOrder << w->objectName();
            }
            for (auto *button : dialog->findChildren<QPushButton *>())
                noDefaultButton = noDefaultButton && !button->isDefault() && !button->autoDefault();
            auto *up = dialog->findChild<QPushButton *>("BtnUp");
            arrows = up->icon().availableSizes().value(0);
            if (!up->text().isEmpty())
                arrows = QSize();
        }));
        QCOMPARE(title, QString("Sondrel"));
        QCOMPARE(label, QString("Choose and order fileds for the file name"));
        QCOMPARE(area.topLeft(), screenCorner + QPoint(279, 155));
        QCOMPARE(area.width(), 288); // the options' captions need it
        QVERIFY(sizable);
        QCOMPARE(focusOrder, (QStringList{"ListFields", "BtnDown", "BtnUp", "ChkFolders",
                                          "ChkPlaylists", "ChkHistoryTags", "ChkLibraryFile",
                                          "ChkRescue", "ChkCovers", "BtnOK", "BtnCancel"}));
        QVERIFY(noDefaultButton);
        QCOMPARE(arrows, QSize(36, 36));
    }

    // The options start unchecked, are confirmed with OK like the fields (a refused OK
    // keeps them), and show in the main window's pattern.
    void options_data()
    {
        QTest::addColumn<bool>("folders");
        QTest::addColumn<bool>("playlists");
        QTest::addColumn<bool>("tags");
        QTest::addColumn<bool>("library");
        QTest::addColumn<bool>("rescue");
        QTest::addColumn<QString>("shownName");
        const QString plain = "Genre_Artist_Title_Album_ID";
        QTest::newRow("folders") << true << false << false << false << false
                                 << "AlbumArtist/Album/" + plain;
        QTest::newRow("playlists") << false << true << false << false << false << plain;
        QTest::newRow("history tags") << false << false << true << false << false << plain;
        QTest::newRow("library file") << false << false << false << true << false << plain;
        QTest::newRow("rescue") << false << false << false << false << true << plain;
    }

    void options()
    {
        QFETCH(bool, folders);
        QFETCH(bool, playlists);
        QFETCH(bool, tags);
        QFETCH(bool, library);
        QFETCH(bool, rescue);
        QFETCH(QString, shownName);
        FrmMain main(noDrives(m_machine), test::freshSettings());
        test::ModalAnswerer answerer;
        ExportOptions opened{true, true, true, true, true}, reopened;
        const ExportOptions chosen{folders, playlists, tags, library, rescue};
        for (bool refused : {false, true}) {
            QVERIFY(onComposer(main, [&](FrmChgExpName *dialog) {
                (refused ? reopened : opened) = dialog->options();
                if (refused || folders)
                    QTest::mouseClick(dialog->ChkFolders, Qt::LeftButton);
                if (refused || playlists)
                    QTest::mouseClick(dialog->ChkPlaylists, Qt::LeftButton);
                if (refused || tags)
                    QTest::mouseClick(dialog->ChkHistoryTags, Qt::LeftButton);
                if (refused || library)
                    QTest::mouseClick(dialog->ChkLibraryFile, Qt::LeftButton);
                if (refused || rescue)
                    QTest::mouseClick(dialog->ChkRescue, Qt::LeftButton);
                if (refused)
                    clickCheckBox(listOf(dialog), 2); // Title off
                press(dialog, "BtnOK");
            }));
            QCOMPARE(main.state().exportOptions(), chosen);
            QCOMPARE(main.TxtExpName->text(), shownName);
        }
        QCOMPARE(answerer.texts(), QStringList{TitleMessage});
        QCOMPARE(opened, ExportOptions{});
        QCOMPARE(reopened, chosen);
        QVERIFY(main.TxtExpName->fontMetrics().horizontalAdvance(shownName) <
                main.TxtExpName->width() - 4);
        ExportOptions withFolders;
        withFolders.artistAlbumFolders = true;
        QCOMPARE(shownExpName("Title", withFolders, '\\'), QString("AlbumArtist\\Album\\Title"));
    }

    // All ten entries show without scrolling; the options sit between the list and the
    // buttons inside the client area; no caption is clipped.
    void tenEntriesAndOptionsFit()
    {
        FrmMain main(noDrives(m_machine), test::freshSettings());
        QStringList problems;
        QVERIFY(onComposer(main, [&](FrmChgExpName *dialog) {
            QListWidget *list = listOf(dialog);
            const QRect last = list->visualItemRect(list->item(list->count() - 1));
            if (list->count() != 10 || !list->viewport()->rect().contains(last) ||
                list->verticalScrollBar()->maximum() > 0 ||
                list->sizeHintForColumn(0) > list->viewport()->width())
                problems << "the entries do not all show";
            QWidget *const order[] = {list,
                                      dialog->ChkFolders,
                                      dialog->ChkPlaylists,
                                      dialog->ChkHistoryTags,
                                      dialog->ChkLibraryFile,
                                      dialog->ChkRescue,
                                      dialog->ChkCovers,
                                      dialog->BtnOK};
            for (std::size_t i = 1; i < std::size(order); ++i) {
                if (order[i]->geometry().top() <= order[i - 1]->geometry().bottom() ||
                    !dialog->rect().contains(order[i]->geometry()))
                    problems << order[i]->objectName() + " is out of place";
            }
            for (QCheckBox *box : {dialog->ChkFolders, dialog->ChkPlaylists, dialog->ChkHistoryTags,
                                   dialog->ChkLibraryFile, dialog->ChkRescue, dialog->ChkCovers}) {
                if (box->sizeHint().width() > box->width() ||
                    box->sizeHint().height() > box->height() ||
                    !dialog->rect().contains(box->geometry()))
                    problems << box->objectName() + QStringLiteral(" is clipped (%1 > %2)")
                                                        .arg(box->sizeHint().width())
                                                        .arg(box->width());
            }
        }));
        QVERIFY2(problems.isEmpty(), qPrintable(problems.join("; ")));
    }

    void expNameOf_data()
    {
        QTest::addColumn<QList<bool>>("chosen");
        QTest::addColumn<QString>("name");
        QTest::newRow("all") << QList<bool>{true, true, true, true, true}
                             << "Genre_Artist_Title_Album_ID";
        QTest::newRow("first and last")
            << QList<bool>{true, false, false, false, true} << "Genre_ID";
        QTest::newRow("one") << QList<bool>{false, false, true, false, false} << "Title";
        QTest::newRow("none") << QList<bool>{false, false, false, false, false} << "";
    }

    void expNameOf()
    {
        QFETCH(QList<bool>, chosen);
        QFETCH(QString, name);
        NameFields fields = defaultNameFields();
        for (int i = 0; i < 5; ++i)
            fields[std::size_t(i)].chosen = chosen[i];
        QCOMPARE(sondrel::expNameOf(fields), name);
        QCOMPARE(titleChosen(fields), chosen[2]);
    }
};

SONDREL_TEST_MAIN(TestDialogsExpName)
#include "test_dialogs_expname.moc"
