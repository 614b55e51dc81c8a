// Marking and sorting a large track list in the main window.
//
//   bench_selection [rows]      (default 40000)
//
// Prints the time of (1) toggling the mark of a range holding every row and drawing
// the new totals, (2) toggling the same range back, and (3) sorting all rows by the
// Title column after a double-click on it. Each figure is the median of several runs,
// the window drawn (offscreen) after each action. Targets: at most 0.3 s each.
#include "fakemachine.h"
#include "frmmain.h"
#include "soundfilecheck.h"
#include "trackgrid.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTest>

#include <algorithm>
#include <cstdio>
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

template <typename Action> double timed(Action &&action)
{
    QElapsedTimer timer;
    timer.start();
    action();
    QApplication::processEvents(); // the repaint the action asked for
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
    const int runs = 7;
    std::vector<double> mark, unmark, sort;
    for (int i = 0; i < runs; ++i) {
        grid->setRow(1);
        grid->setRowSel(n);
        mark.push_back(timed([&] { QTest::mouseClick(window.BtnSelSound, Qt::LeftButton); }));
        const QString caption = window.LblSelFilesNum->text() + QStringLiteral(" |") +
                                window.LblSelFilesSize->text() + QStringLiteral(" |") +
                                window.LblSelFilesDur->text();
        grid->setRow(n);
        grid->setRowSel(1);
        unmark.push_back(timed([&] { QTest::mouseClick(window.BtnSelSound, Qt::LeftButton); }));
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
        sort.push_back(timed([&] { Q_EMIT grid->DblClick(); }));
    }
    std::printf("rows: %d\n", n);
    std::printf("toggle range on + labels:  median %.3f s (min %.3f)  target <= 0.300 s\n",
                median(mark), *std::min_element(mark.begin(), mark.end()));
    std::printf("toggle range off + labels: median %.3f s (min %.3f)  target <= 0.300 s\n",
                median(unmark), *std::min_element(unmark.begin(), unmark.end()));
    std::printf("sort by Title:             median %.3f s (min %.3f)  target <= 0.300 s\n",
                median(sort), *std::min_element(sort.begin(), sort.end()));
    return 0;
}
