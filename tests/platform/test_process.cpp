#include "platformerror.h"
#include "process.h"
#include "testmain.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace sondrel;

class TestProcess : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // A program whose own path holds blanks and quotes starts by that path, unsplit, and
    // each argument reaches it whole: no shell splits or expands either.
    void programPathWithBlanksAndQuotes()
    {
        QTemporaryDir dir;
        const QString folder = dir.filePath("My \"odd\" folder");
        QVERIFY(QDir().mkpath(folder));
        const QString program = folder + "/run me 'now'.sh";
        {
            QFile script(program);
            QVERIFY(script.open(QIODevice::WriteOnly));
            script.write("#!/bin/sh\nprintf '%s|' \"$0\" \"$@\" > \"$1\"\n");
        }
        QVERIFY(
            QFile::setPermissions(program, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        const QString out = dir.filePath("out.txt");
        createProcessStarter()->startDetached(
            program.toStdString(), {out.toStdString(), "a b", "$HOME;*"}, WindowStyle::Normal);
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(out) && QFile(out).size() > 0, 5000);
        QFile file(out);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromUtf8(file.readAll()), program + "|" + out + "|a b|$HOME;*|");
    }

    void aMissingProgramIsReported()
    {
        auto starter = createProcessStarter();
        for (const bool wait : {false, true}) {
            try {
                if (wait)
                    starter->startAndWait("/nonexistent/program", {}, WindowStyle::Normal);
                else
                    starter->startDetached("/nonexistent/program", {}, WindowStyle::Normal);
                QFAIL("starting a missing program must fail");
            } catch (const PlatformError &error) {
                QCOMPARE(error.number(), ENOENT);
                QVERIFY(error.description().find("/nonexistent/program") != std::string::npos);
            }
        }
    }

    // A waited-for program has ended when the call returns, and its status is returned.
    void startAndWaitGivesTheExitStatus_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<int>("status");
        QTest::newRow("success") << "sleep 0.2; echo done > \"$1\"" << 0;
        QTest::newRow("failure") << "echo done > \"$1\"; exit 3" << 3;
        QTest::newRow("killed by a signal") << "echo done > \"$1\"; kill -9 $$" << 128 + 9;
    }

    void startAndWaitGivesTheExitStatus()
    {
        QFETCH(QString, script);
        QFETCH(int, status);
        QTemporaryDir dir;
        const QString out = dir.filePath("out.txt");
        auto starter = createProcessStarter();
        QCOMPARE(starter->startAndWait("/bin/sh",
                                       {"-c", script.toStdString(), "sh", out.toStdString()},
                                       WindowStyle::Minimized),
                 status);
        QFile file(out);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("done\n"));
    }
};

SONDREL_TEST_MAIN_CORE(TestProcess)
#include "test_process.moc"
