#include "numberformat.h"
#include "testmain.h"
#include "timetext.h"

#include <QTest>

using namespace sondrel;

class TestFormats : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void secToHms_data()
    {
        QTest::addColumn<double>("seconds");
        QTest::addColumn<QString>("text");
        QTest::newRow("zero") << 0.0 << "00:00:00";
        QTest::newRow("fractions dropped") << 59.999 << "00:00:59";
        QTest::newRow("one hour") << 3600.0 << "01:00:00";
        QTest::newRow("just below a second more") << 3725.999 << "01:02:05";
        QTest::newRow("end of a day") << 86399.0 << "23:59:59";
        QTest::newRow("no days") << 90000.0 << "25:00:00";
        QTest::newRow("three-digit hours") << 360000.0 << "100:00:00";
        QTest::newRow("track of 215999 ms") << 215.999 << "00:03:35";
    }

    void secToHms()
    {
        QFETCH(double, seconds);
        QFETCH(QString, text);
        QCOMPARE(hoursMinutesSeconds(seconds), std::optional<QString>(text));
    }

    void negativeSecondsAreRefused()
    {
        QCOMPARE(hoursMinutesSeconds(-1), std::nullopt);
        QCOMPARE(hoursMinutesSeconds(-0.001), std::nullopt);
    }

    void numberForms_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("standard");
        QTest::addColumn<QString>("general");
        QTest::newRow("zero") << 0.0 << "0.00"
                              << "0";
        QTest::newRow("1536 bytes in Kb") << 1536 / 1024.0 << "1.50"
                                          << "1.5";
        QTest::newRow("grouping") << 1048576 / 1024.0 << "1,024.00"
                                  << "1024";
        QTest::newRow("2 MB in Kb") << 2097152 / 1024.0 << "2,048.00"
                                    << "2048";
        QTest::newRow("tie to even, down") << 0.125 << "0.12"
                                           << "0.125";
        QTest::newRow("tie to even, up") << 0.375 << "0.38"
                                         << "0.375";
        QTest::newRow("big whole number") << 123456789012.0 << "123,456,789,012.00"
                                          << "123456789012";
    }

    void numberForms()
    {
        QFETCH(double, value);
        QFETCH(QString, standard);
        QFETCH(QString, general);
        QCOMPARE(standardNumber(value), standard);
        QCOMPARE(generalNumber(value), general);
        QCOMPARE(parseGeneralNumber(general), value);
    }

    void roundingToTwoDecimals()
    {
        QCOMPARE(generalNumber(roundHalfEven(5000000 / 1024.0, 2)), QString("4882.81"));
        QCOMPARE(generalNumber(roundHalfEven(5000000 / 1024.0 / 1024, 2)), QString("4.77"));
        QCOMPARE(generalNumber(roundHalfEven(5000000 / 1024.0 / 1024 / 1024, 2)), QString("0"));
        QCOMPARE(parseGeneralNumber("not a number"), 0.0);
    }
};

SONDREL_TEST_MAIN_CORE(TestFormats)
#include "test_formats.moc"
