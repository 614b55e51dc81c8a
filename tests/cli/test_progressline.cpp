// The progress of sondrel-export on the standard error stream: how often a line comes,
// on a terminal and in a log, and what it says.
#include "progressline.h"
#include "testmain.h"

#include <QTest>

using namespace sondrel;

class TestProgressLine : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void linesWritten_data()
    {
        QTest::addColumn<bool>("terminal");
        // Updates as "files,bytes,ms" for 10 files of 1,000 bytes, and the lines due.
        QTest::addColumn<QStringList>("updates");
        QTest::addColumn<QList<bool>>("written");
        QTest::newRow("terminal: at most one line in 100 ms")
            << true << QStringList{"1,100,0", "2,200,50", "3,300,100", "4,400,150", "5,500,201"}
            << QList<bool>{true, false, true, false, true};
        QTest::newRow("log: at each 5% of the bytes")
            << false
            << QStringList{"1,10,0", "1,40,10", "1,50,20", "2,90,30", "3,100,40", "3,1000,50"}
            << QList<bool>{false, false, true, false, true, true};
        QTest::newRow("log: after a minute without a line")
            << false << QStringList{"1,10,59999", "1,11,60000", "1,12,90000", "1,13,120000"}
            << QList<bool>{false, true, false, true};
    }

    void linesWritten()
    {
        QFETCH(bool, terminal);
        QFETCH(QStringList, updates);
        QFETCH(QList<bool>, written);
        ProgressLine line(terminal, 10, 1000);
        for (qsizetype i = 0; i < updates.size(); ++i) {
            const QStringList u = updates[i].split(',');
            const QString text = line.update(u[0].toInt(), u[1].toULongLong(), u[2].toLongLong());
            QVERIFY2(text.isEmpty() != written[i], qPrintable(updates[i]));
            if (!text.isEmpty())
                QVERIFY(terminal ? text.startsWith('\r') : text.endsWith('\n'));
        }
    }

    void text()
    {
        ProgressLine line(false, 400, std::uint64_t(20) << 30);
        // 2 GiB in 20 s: 102.4 MB/s, 18 GiB left in 180 s.
        QCOMPARE(line.text(12, std::uint64_t(2) << 30, 20000),
                 "12/400 files, 2.0 GB of 20.0 GB, 102.4 MB/s, 3 min 00 s left");
        QCOMPARE(line.text(0, 0, 0), "0/400 files, 0 B of 20.0 GB");
        QCOMPARE(timeLeftText(7325), "2 h 02 min");
        QCOMPARE(timeLeftText(44.2), "45 s");
    }
};

SONDREL_TEST_MAIN_CORE(TestProgressLine)
#include "test_progressline.moc"
