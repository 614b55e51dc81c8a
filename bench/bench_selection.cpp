// Marking and sorting a large track list in the main window.
//
//   bench_selection [rows] [runs]      (default 40000 rows, 15 runs)
//
// Prints the time of (1) toggling the mark of a range holding every row and drawing
// the new totals, (2) toggling the same range back, (3) sorting all rows by the Title
// column after a double-click on it, (4) one more character typed into the find box
// ("lo" to "lov"), which asks only the rows shown, and one deleted, which asks every
// track again, (5) "Mark shown" and "Unmark shown" with every row shown, and (6) the
// longest time the window's thread takes over one keystroke while a 10-character query
// is typed into the find box right after a reading of the player (the first keystroke
// makes the folded text of every track). Each figure is the median of several runs, the
// window drawn (offscreen) after each action, on the clock and in processor time.
// Targets: at most 0.3 s each for (1) to (3); (4) 20 ms for 40,000 rows, 100 ms for
// 200,000; (5) 50 ms; (6) 50 ms.
#include "fakemachine.h"
#include "findaction.h"
#include "frmmain.h"
#include "soundfilecheck.h"
#include "testmain.h"
#include "trackgrid.h"
#include "tracktable.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTest>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <vector>

using namespace sondrel;

namespace {

QString randomTitle(QRandomGenerator &random)
{
    static const char *const words[] = {"Love", "Night", "Blue",  "Road", "Fire", "Heart", "Rain",
                                        "Song", "Moon",  "Dance", "the",  "of",   "in",    "my"};
    QString title;
    const int n = 1 + int(random.bounded(5));
    for (int i = 0; i < n; ++i) {
        if (i)
            title += QLatin1Char(' ');
        title += QLatin1String(words[random.bounded(int(std::size(words)))]);
    }
    return title;
}

void fill(FrmMain &window, int n)
{
    QRandomGenerator random(42);
    TrackTable &table = window.trackTable();
    table.reset(n);
    for (int k = 1; k <= n; ++k) {
        Track &t = table.track(k);
        t.id = k;
        t.size = 2000000 + random.bounded(8000000);
        t.duration = random.bounded(2) ? 120000 + random.bounded(300000) : -1;
        table.setText(k, FieldTitle, randomTitle(random));
        table.setText(k, FieldArtist, QStringLiteral("Artist %1").arg(random.bounded(500)));
        table.setText(k, FieldAlbum, QStringLiteral("Album %1").arg(random.bounded(2000)));
        table.setText(k, FieldGenre, QStringLiteral("Genre %1").arg(random.bounded(20)));
        // The other fields a search looks in, with letters that fold.
        table.setText(k, FieldAlbumArtist, QStringLiteral("Artíst %1").arg(random.bounded(400)));
        table.setText(k, FieldComposer, QStringLiteral("Compösér %1").arg(random.bounded(900)));
        if (random.bounded(3) == 0)
            table.setText(k, FieldComment, randomTitle(random));
    }
    fillTrackGrid(window);
    showTrackListChoices(window);
    for (QPushButton *button :
         {window.BtnSelSound, window.BtnMarkShown, window.BtnUnmarkShown, window.BtnExport})
        button->setEnabled(true);
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// Processor time of the calling thread, in seconds: unlike the time on the clock, it
// hardly depends on what else the machine is doing.
double threadSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

// The time on the clock, and the processor time in `processor`.
template <typename Action> double timed(Action &&action, std::vector<double> &processor)
{
    QElapsedTimer timer;
    const double start = threadSeconds();
    timer.start();
    action();
    QApplication::processEvents(); // the repaint the action asked for
    processor.push_back(threadSeconds() - start);
    return double(timer.nsecsElapsed()) / 1e9;
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Sondrel"));
    const int n = argc > 1 ? std::max(1, atoi(argv[1])) : 40000;

    test::FakeMachine machine;
    Services services;
    services.fileSystem = [&machine] { return machine.fileSystem(); };
    FrmMain window(services, test::freshSettings());
    fill(window, n);
    window.show();
    if (!QTest::qWaitForWindowExposed(&window))
        std::printf("the window was not shown; figures leave out the drawing\n");
    QApplication::processEvents();

    TrackGrid *grid = window.MSFlexGridSoundList;
    const int runs = argc > 2 ? std::max(1, atoi(argv[2])) : 15;
    std::vector<double> mark, unmark, sort;
    std::vector<double> markCpu, unmarkCpu, sortCpu;
    for (int i = 0; i < runs; ++i) {
        grid->setRow(1);
        grid->setRowSel(n);
        mark.push_back(
            timed([&] { QTest::mouseClick(window.BtnSelSound, Qt::LeftButton); }, markCpu));
        const QString caption = window.LblSelFilesNum->text() + QStringLiteral(" |") +
                                window.LblSelFilesSize->text() + QStringLiteral(" |") +
                                window.LblSelFilesDur->text();
        grid->setRow(n);
        grid->setRowSel(1);
        unmark.push_back(
            timed([&] { QTest::mouseClick(window.BtnSelSound, Qt::LeftButton); }, unmarkCpu));
        if (i == 0)
            std::printf("after marking all:%s\n", qPrintable(caption));

        // Scramble the order by another column first, so that each sort has work to do.
        grid->setCol(5);
        grid->setSort(1);
        QApplication::processEvents();
        // The double-click's first press has made one cell of the Title column current.
        grid->setRow(1);
        grid->setCol(3);
        QApplication::processEvents();
        sort.push_back(timed([&] { Q_EMIT grid->DblClick(); }, sortCpu));
    }
    // The find box: "lo" typed, then one more character.
    QLineEdit *find = window.TxtFind;
    std::vector<double> narrow, narrowCpu, widen, widenCpu;
    int shown = 0;
    for (int i = 0; i < runs; ++i) {
        find->setText(QStringLiteral("lo"));
        QApplication::processEvents();
        narrow.push_back(timed([&] { QTest::keyClick(find, Qt::Key_V); }, narrowCpu));
        shown = grid->Rows() - 1;
        // Back to "lo": every track is asked again.
        widen.push_back(timed([&] { QTest::keyClick(find, Qt::Key_Backspace); }, widenCpu));
        find->clear();
    }
    // "Mark shown" and "Unmark shown" with every row shown.
    std::vector<double> markShown, unmarkShown, markShownCpu, unmarkShownCpu;
    QString markedCaption;
    for (int i = 0; i < runs; ++i) {
        markShown.push_back(
            timed([&] { QTest::mouseClick(window.BtnMarkShown, Qt::LeftButton); }, markShownCpu));
        markedCaption = window.LblSelFilesNum->text();
        unmarkShown.push_back(timed(
            [&] { QTest::mouseClick(window.BtnUnmarkShown, Qt::LeftButton); }, unmarkShownCpu));
    }
    // A 10-character query typed after a reading of the player: the longest keystroke.
    const QString query = QStringLiteral("love night");
    std::vector<double> longest, longestCpu, firstKey;
    for (int i = 0; i < runs; ++i) {
        find->clear();
        showTrackListChoices(window); // as after a reading: no folded text yet
        QApplication::processEvents();
        double worst = 0;
        double worstCpu = 0;
        for (qsizetype c = 0; c < query.size(); ++c) {
            std::vector<double> cpu;
            const double took = timed([&] { QTest::keyClicks(find, query.mid(c, 1)); }, cpu);
            if (c == 0)
                firstKey.push_back(took);
            worst = std::max(worst, took);
            worstCpu = std::max(worstCpu, cpu.front());
        }
        longest.push_back(worst);
        longestCpu.push_back(worstCpu);
    }
    const QString queryCaption = window.LblShown->text();
    find->clear();

    std::printf("rows: %d\n", n);
    std::printf("toggle range on + labels:  median %.3f s (min %.3f, processor %.3f s)  "
                "target <= 0.300 s\n",
                median(mark), *std::min_element(mark.begin(), mark.end()), median(markCpu));
    std::printf("toggle range off + labels: median %.3f s (min %.3f, processor %.3f s)  "
                "target <= 0.300 s\n",
                median(unmark), *std::min_element(unmark.begin(), unmark.end()), median(unmarkCpu));
    std::printf("sort by Title:             median %.3f s (min %.3f, processor %.3f s)  "
                "target <= 0.300 s\n",
                median(sort), *std::min_element(sort.begin(), sort.end()), median(sortCpu));
    const double narrowTarget = n > 40000 ? 0.100 : 0.020;
    std::printf("type \"v\" after \"lo\":        median %.3f s (min %.3f, processor %.3f s)  "
                "target <= %.3f s  (%d rows shown)\n",
                median(narrow), *std::min_element(narrow.begin(), narrow.end()), median(narrowCpu),
                narrowTarget, shown);
    std::printf("Backspace to \"lo\":        median %.3f s (min %.3f, processor %.3f s)  "
                "target <= %.3f s  (every track asked)\n",
                median(widen), *std::min_element(widen.begin(), widen.end()), median(widenCpu),
                narrowTarget);
    std::printf("Mark shown, all shown:     median %.3f s (min %.3f, processor %.3f s)  "
                "target <= 0.050 s  (%s)\n",
                median(markShown), *std::min_element(markShown.begin(), markShown.end()),
                median(markShownCpu), qPrintable(markedCaption.trimmed()));
    std::printf("Unmark shown, all shown:   median %.3f s (min %.3f, processor %.3f s)  "
                "target <= 0.050 s\n",
                median(unmarkShown), *std::min_element(unmarkShown.begin(), unmarkShown.end()),
                median(unmarkShownCpu));
    std::printf("typing \"%s\", longest key: median %.3f s (max %.3f, processor %.3f s)  "
                "target <= 0.050 s  (first key median %.3f s; %s)\n",
                qPrintable(query), median(longest),
                *std::max_element(longest.begin(), longest.end()), median(longestCpu),
                median(firstKey), qPrintable(queryCaption));
    return 0;
}
