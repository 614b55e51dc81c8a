// Marking and sorting a large track list in the main window.
//
//   bench_selection [rows] [runs]      (default 40000 rows, 15 runs)
//
// Prints the time of (1) toggling the mark of a range holding every row and drawing
// the new totals, (2) toggling the same range back, (3) sorting all rows by the Title
// column after a double-click on it, and (4) filtering the rows by a text in their titles
// and narrowing that by one more character. Each figure is the median of several runs,
// the window drawn (offscreen) after each action, on the clock and in processor time.
// Targets: at most 0.3 s each for (1) to (3), 20 ms for narrowing.
#include "fakemachine.h"
#include "frmmain.h"
#include "soundfilecheck.h"
#include "trackgrid.h"
#include "tracktable.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
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
    }
    fillTrackGrid(window);
    window.BtnSelSound->setEnabled(true);
    window.BtnExport->setEnabled(true);
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
    FrmMain window(services);
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
    // Filtering the rows as a find box would: the titles that hold the text typed so far
    // (letter case aside), asked of every track, then one more character typed, which can
    // only take rows away and so asks only the rows shown.
    std::vector<double> filter, narrow, filterCpu, narrowCpu;
    const TrackTable &table = window.trackTable();
    const auto titleHolds = [&](const QString &typed) {
        return [&table, typed](int row) {
            return table.track(row + 1).texts[FieldTitle - FieldTitle].contains(typed, Qt::CaseInsensitive);
        };
    };
    int shown = 0;
    for (int i = 0; i < runs; ++i) {
        filter.push_back(timed([&] { grid->filterRows(titleHolds(QStringLiteral("lo"))); }, filterCpu));
        narrow.push_back(
            timed([&] { grid->filterRows(titleHolds(QStringLiteral("lov")), true); }, narrowCpu));
        shown = grid->Rows() - 1;
        grid->filterRows({});
    }
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
    std::printf("filter by \"lo\":            median %.3f s (min %.3f, processor %.3f s)\n",
                median(filter), *std::min_element(filter.begin(), filter.end()), median(filterCpu));
    std::printf("narrow to \"lov\":           median %.3f s (min %.3f, processor %.3f s)  "
                "target <= 0.020 s  (%d rows shown)\n",
                median(narrow), *std::min_element(narrow.begin(), narrow.end()), median(narrowCpu),
                shown);
    return 0;
}
