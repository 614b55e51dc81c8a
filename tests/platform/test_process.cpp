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

    // A program whose own path holds blanks and quotes starts by that path, unsplit.
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
        QVERIFY(QFile::setPermissions(program, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        const QString out = dir.filePath("out.txt");
        createProcessStarter()->startDetached(program.toStdString(), {out.toStdString(), "a b"},
                                              WindowStyle::Normal);
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(out) && QFile(out).size() > 0, 5000);
        QFile file(out);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromUtf8(file.readAll()), program + "|" + out + "|a b|");
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

SONDREL_TEST_MAIN_CORE(TestProcess)
#include "test_process.moc"
