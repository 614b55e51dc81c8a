// The marks and the exact totals of the marked tracks, and the captions that show them,
// without a window.
#include "appstate.h"
#include "testmain.h"
#include "totals.h"
#include "tracktables.h"

#include <QSignalSpy>
#include <QTest>

#include <vector>

using namespace sondrel;
using namespace sondrel::test;

namespace {

// An application state holding tracks 1..n with the given sizes (bytes) and durations (ms).
void load(AppState &state, const std::vector<std::uint64_t> &sizes,
          const std::vector<std::int32_t> &durations)
{
    QList<TableTrack> tracks;
    for (std::size_t i = 0; i < sizes.size(); ++i)
        tracks.push_back({QStringLiteral("T%1").arg(i + 1), sizes[i], durations[i]});
    state.tracks() = tableOf(tracks);
    state.clearMarks();
}

QString totalsText(const SelectionTotals &t)
{
    return QStringLiteral("%1|%2|%3").arg(t.count).arg(t.bytes).arg(t.milliseconds);
}

QList<int> marked(const AppState &state)
{
    QList<int> out;
    for (int k = 1; k <= state.tracks().count(); ++k)
        if (state.isMarked(k))
            out << k;
    return out;
}

} // namespace

class TestSelectionRules : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void aMixedSetFlipsEveryTrack()
    {
        AppState state;
        load(state, {10, 20, 30, 40, 50}, {1, 2, 3, 4, 5});
        state.toggleMarks(std::vector<int>{3});
        state.toggleMarks(std::vector<int>{5});
        QCOMPARE(totalsText(state.totals()), QString("2|80|8"));

        state.toggleMarks(std::vector<int>{3, 4, 5});
        QCOMPARE(marked(state), QList<int>{4});
        QCOMPARE(totalsText(state.totals()), QString("1|40|4"));
    }

    void negativeDurationsCountAsZero()
    {
        AppState state;
        load(state, {5000000, 1000}, {-1, 3000});
        state.toggleMarks(std::vector<int>{2});
        const QString before = totalsText(state.totals());
        state.toggleMarks(std::vector<int>{1});
        QCOMPARE(totalsText(state.totals()), QString("2|5001000|3000"));
        state.toggleMarks(std::vector<int>{1});
        QCOMPARE(totalsText(state.totals()), before);
        QCOMPARE(countedDuration(std::numeric_limits<std::int32_t>::min()), std::uint64_t(0));
    }

    // Sizes are unsigned: a 3 GB video adds 3 GB, and 40,000 of the largest size the
    // database can hold add up exactly.
    void totalsStayExactAndUnsigned()
    {
        AppState state;
        load(state, {3221225472u}, {1000});
        state.toggleMarks(std::vector<int>{1});
        QCOMPARE(totalsText(state.totals()), QString("1|3221225472|1000"));
        QCOMPARE(sizeCaption(state.totals().bytes), QString(" 3145728 Kb = 3072 Mb = 3 Gb"));

        const int n = 40000;
        std::vector<int> all(n);
        for (int k = 1; k <= n; ++k)
            all[std::size_t(k - 1)] = k;
        load(state, std::vector<std::uint64_t>(n, 4294967295u),
             std::vector<std::int32_t>(n, 2147483647));
        state.toggleMarks(all);
        QCOMPARE(totalsText(state.totals()), QString("40000|171798691800000|85899345880000"));
        state.toggleMarks(all);
        QCOMPARE(totalsText(state.totals()), QString("0|0|0"));
    }

    // Numbers that name no track (a header row, an unknown ID) are passed over.
    void unknownTracksArePassedOver()
    {
        AppState state;
        load(state, {7, 8}, {7, 8});
        state.toggleMarks(std::vector<int>{0, 1, 99, -1});
        QCOMPARE(marked(state), QList<int>{1});
        QCOMPARE(totalsText(state.totals()), QString("1|7|7"));
        QVERIFY(!state.isMarked(0));
        QVERIFY(!state.isMarked(99));
    }

    // Clearing forgets every mark; one signal per change, not per track.
    void clearingAndSignals()
    {
        AppState state;
        load(state, {1, 2, 3}, {1, 2, 3});
        QSignalSpy changes(&state, &AppState::marksChanged);
        state.toggleMarks(std::vector<int>{1, 2, 3});
        QCOMPARE(changes.count(), 1);
        state.clearMarks();
        QCOMPARE(changes.count(), 2);
        QCOMPARE(marked(state), QList<int>{});
        QCOMPARE(state.totals(), SelectionTotals{});
    }

    void settingsAnnounceTheirChanges()
    {
        AppState state;
        QCOMPARE(state.nameFields(), defaultNameFields());
        QCOMPARE(state.exportName(), QString());
        QSignalSpy drive(&state, &AppState::playerDriveChanged);
        QSignalSpy dir(&state, &AppState::exportDirectoryChanged);
        QSignalSpy names(&state, &AppState::nameFieldsChanged);
        state.setPlayerDrive("/media/ipod/");
        state.setPlayerDrive("/media/ipod/"); // the same value is still a change the window shows
        state.setExportDirectory("/home/me/Music/");
        NameFields fields = defaultNameFields();
        fields[0].chosen = false;
        state.setNameFields(fields, "Artist_Title_Album_ID");
        QCOMPARE(drive.count(), 2);
        QCOMPARE(dir.count(), 1);
        QCOMPARE(names.count(), 1);
        QCOMPARE(state.nameFields(), fields);
        QCOMPARE(state.exportName(), QString("Artist_Title_Album_ID"));
    }

    void trackNumbers_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("k");
        QTest::newRow("plain") << "17" << 17;
        QTest::newRow("blank around") << " 17 " << 17;
        QTest::newRow("empty") << "" << 0;
        QTest::newRow("text") << "abc" << 0;
    }

    void trackNumbers()
    {
        QFETCH(QString, text);
        QFETCH(int, k);
        QCOMPARE(trackNumberOf(text), k);
    }

    void captions_data()
    {
        QTest::addColumn<quint64>("count");
        QTest::addColumn<quint64>("bytes");
        QTest::addColumn<quint64>("milliseconds");
        QTest::addColumn<QStringList>("captions");

        QTest::newRow("start") << quint64(0) << quint64(0) << quint64(0)
                               << QStringList{" 0 file(s) selected", " 0 Kb = 0 Mb = 0 Gb",
                                              " 00:00:00 hh:mm:ss"};
        QTest::newRow("5000000 bytes")
            << quint64(1) << quint64(5000000) << quint64(180000)
            << QStringList{" 1 file(s) selected", " 4882.81 Kb = 4.77 Mb = 0 Gb",
                           " 00:03:00 hh:mm:ss"};
        QTest::newRow("fractions dropped")
            << quint64(2) << quint64(4608) << quint64(3725999)
            << QStringList{" 2 file(s) selected", " 4.5 Kb = 0 Mb = 0 Gb", " 01:02:05 hh:mm:ss"};
        QTest::newRow("100 hours")
            << quint64(40000) << quint64(1073741824) << quint64(360000000)
            << QStringList{" 40000 file(s) selected", " 1048576 Kb = 1024 Mb = 1 Gb",
                           " 100:00:00 hh:mm:ss"};
        QTest::newRow("half to even, down")
            << quint64(1) << quint64(128) << quint64(0)
            << QStringList{" 1 file(s) selected", " 0.12 Kb = 0 Mb = 0 Gb", " 00:00:00 hh:mm:ss"};
        QTest::newRow("half to even, up")
            << quint64(1) << quint64(384) << quint64(999)
            << QStringList{" 1 file(s) selected", " 0.38 Kb = 0 Mb = 0 Gb", " 00:00:00 hh:mm:ss"};
    }

    void captions()
    {
        QFETCH(quint64, count);
        QFETCH(quint64, bytes);
        QFETCH(quint64, milliseconds);
        QFETCH(QStringList, captions);
        QCOMPARE(
            (QStringList{filesCaption(count), sizeCaption(bytes), durationCaption(milliseconds)}),
            captions);
    }
};

SONDREL_TEST_MAIN_CORE(TestSelectionRules)
#include "test_selectionrules.moc"
