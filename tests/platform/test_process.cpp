#include "platformerror.h"
#include "process.h"
#include "testmain.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace sondrel;

class TestProcess : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Each argument reaches the program whole: no shell splits or expands it.
    void argumentsArriveWhole()
    {
        QTemporaryDir dir;
        const QString out = dir.filePath("out.txt");
        const QString script = "printf '%s|' \"$@\" > \"$0\"";
        auto starter = createProcessStarter();
        starter->startDetached("/bin/sh", {"-c", script.toStdString(), out.toStdString(),
                                           "/media/my player/", "$HOME;*"},
                               WindowStyle::Normal);
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(out) && QFile(out).size() > 0, 5000);
        QFile file(out);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromUtf8(file.readAll()), QString("/media/my player/|$HOME;*|"));
    }

    void aMissingProgramIsReported()
    {
        auto starter = createProcessStarter();
        try {
            starter->startDetached("/nonexistent/program", {}, WindowStyle::Normal);
            QFAIL("starting a missing program must fail");
        } catch (const PlatformError &error) {
            QCOMPARE(error.number(), ENOENT);
            QVERIFY(error.description().find("/nonexistent/program") != std::string::npos);
        }
    }
};

SONDREL_TEST_MAIN(TestProcess)
#include "test_process.moc"
