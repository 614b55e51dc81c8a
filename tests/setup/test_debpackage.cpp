// The Debian package as apt would unpack it: its files, what it depends on, its desktop
// entry and metadata as the validators see them, and programs, manual pages and
// completion that agree on the options.
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include "testmain.h"

namespace {

struct Output
{
    int code = -1;
    QString out;
};

Output runTool(const QString &program, const QStringList &arguments,
               const QProcessEnvironment &env = QProcessEnvironment::systemEnvironment())
{
    QProcess process;
    process.setProcessEnvironment(env);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    Output result;
    if (process.waitForFinished(120000) && process.exitStatus() == QProcess::NormalExit)
        result.code = process.exitCode();
    result.out = QString::fromUtf8(process.readAll());
    return result;
}

const QString AppId = "org.sondrel.Sondrel";
const QString LibDir = "usr/lib/" SONDREL_LIBRARY_ARCHITECTURE "/sondrel";

} // namespace

class TestDebPackage : public QObject
{
    Q_OBJECT

    QTemporaryDir m_root; // the package unpacked
    QString m_dpkgDeb;

    QString file(const QString &path) const { return m_root.filePath(path); }

    // The program run from the unpacked package, without a display.
    Output runProgram(const QString &program, const QStringList &arguments) const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char *name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"})
            env.remove(name);
        env.insert("LD_LIBRARY_PATH", file(LibDir));
        env.insert("HOME", m_root.filePath("home"));
        return runTool(file("usr/bin/" + program), arguments, env);
    }

    // The options a program's --help names ("--player", "--no-folders", ...).
    QStringList optionsOf(const QString &program) const
    {
        QStringList options;
        const QRegularExpression option("(?:^|[ ,])(--[a-z][a-z-]*)");
        const Output help = runProgram(program, {"--help"});
        for (const QRegularExpressionMatch &m : option.globalMatch(help.out))
            if (!options.contains(m.captured(1)))
                options << m.captured(1);
        return options;
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_dpkgDeb = QStandardPaths::findExecutable("dpkg-deb");
        if (m_dpkgDeb.isEmpty())
            QSKIP("dpkg-deb is missing: the Debian package is neither built nor checked here");
        QVERIFY2(QFile::exists(SONDREL_DEB_PACKAGE),
                 SONDREL_DEB_PACKAGE " is missing: build the target package first");
        QVERIFY(m_root.isValid());
        const Output unpacked = runTool(m_dpkgDeb, {"-x", SONDREL_DEB_PACKAGE, m_root.path()});
        QVERIFY2(unpacked.code == 0, qPrintable(unpacked.out));
    }

    // Every file of the package, and nothing else (no file of the archive's layout).
    void files()
    {
        QStringList found;
        QDirIterator it(m_root.path(), QDir::Files | QDir::Hidden | QDir::System,
                        QDirIterator::Subdirectories);
        while (it.hasNext())
            found << QDir(m_root.path()).relativeFilePath(it.next());
        found.sort();
        QStringList wanted{
            "usr/bin/sondrel",
            "usr/bin/sondrel-export",
            LibDir + "/libtrackgrid.so.1",
            "usr/share/applications/" + AppId + ".desktop",
            "usr/share/bash-completion/completions/sondrel",
            "usr/share/bash-completion/completions/sondrel-export",
            "usr/share/doc/sondrel/changelog.gz",
            "usr/share/doc/sondrel/copyright",
            "usr/share/icons/hicolor/128x128/apps/" + AppId + ".png",
            "usr/share/icons/hicolor/256x256/apps/" + AppId + ".png",
            "usr/share/icons/hicolor/48x48/apps/" + AppId + ".png",
            "usr/share/icons/hicolor/scalable/apps/" + AppId + ".svg",
            "usr/share/man/man1/sondrel-export.1.gz",
            "usr/share/man/man1/sondrel.1.gz",
            "usr/share/metainfo/" + AppId + ".metainfo.xml",
        };
        wanted.sort();
        QCOMPARE(found, wanted);
        // The programs find the private library through their run path.
        for (const QString program : {"sondrel", "sondrel-export"}) {
            const Output dynamic = runTool("readelf", {"-d", file("usr/bin/" + program)});
            QVERIFY2(dynamic.out.contains("[/" + LibDir + "]"), qPrintable(dynamic.out));
        }
    }

    void depends_data()
    {
        QTest::addColumn<QString>("package");
        for (const char *package : {"libqt6widgets6", "libqt6core6", "libqt6gui6", "libtag1v5",
                                    "zlib1g", "libc6", "qt6-qpa-plugins"})
            QTest::newRow(package) << QString(package);
    }

    void depends()
    {
        QFETCH(QString, package);
        const Output info = runTool(m_dpkgDeb, {"--info", SONDREL_DEB_PACKAGE});
        QCOMPARE(info.code, 0);
        const QRegularExpression depends("^ Depends: (.*)$", QRegularExpression::MultilineOption);
        const QStringList named = depends.match(info.out).captured(1).split(", ");
        QVERIFY2(
            !named.filter(QRegularExpression("^" + QRegularExpression::escape(package) + "( |$)"))
                 .isEmpty(),
            qPrintable(info.out));
    }

    void validators_data()
    {
        QTest::addColumn<QString>("tool");
        QTest::addColumn<QStringList>("arguments"); // $R: the unpacked package, $D: the package
        QTest::newRow("desktop entry")
            << "desktop-file-validate"
            << QStringList{"$R/usr/share/applications/" + AppId + ".desktop"};
        QTest::newRow("metadata") << "appstreamcli"
                                  << QStringList{"validate", "--no-net",
                                                 "$R/usr/share/metainfo/" + AppId +
                                                     ".metainfo.xml"};
        QTest::newRow("package") << "lintian" << QStringList{"--fail-on", "error", "$D"};
    }

    void validators()
    {
        QFETCH(QString, tool);
        QFETCH(QStringList, arguments);
        const QString program = QStandardPaths::findExecutable(tool);
        if (program.isEmpty())
            QSKIP(qPrintable(tool + " is missing (tools/deps.sh --test installs it)"));
        for (QString &argument : arguments)
            argument.replace("$R", m_root.path()).replace("$D", SONDREL_DEB_PACKAGE);
        const Output result = runTool(program, arguments);
        QVERIFY2(result.code == 0, qPrintable(result.out));
    }

    // The manual page and the completion of each program name every option its --help
    // names, so neither drifts from the program; the programs answer without a display.
    void optionsAgree_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QString>("version");
        QTest::newRow("sondrel") << "sondrel"
                                 << "Sondrel " SONDREL_VERSION_TEXT "\n";
        QTest::newRow("sondrel-export") << "sondrel-export"
                                        << "sondrel-export " SONDREL_VERSION_TEXT "\n";
    }

    void optionsAgree()
    {
        QFETCH(QString, program);
        QFETCH(QString, version);
        const Output shown = runProgram(program, {"--version"});
        QCOMPARE(shown.code, 0);
        QCOMPARE(shown.out, version);

        const QStringList options = optionsOf(program);
        QVERIFY2(options.contains("--player") && options.contains("--settings"),
                 qPrintable(options.join(' ')));
        const Output page =
            runTool("gzip", {"-dc", file("usr/share/man/man1/" + program + ".1.gz")});
        QCOMPARE(page.code, 0);
        // The page's text without its font changes, "\-" as "-".
        const QString text =
            QString(page.out).remove(QRegularExpression("\\\\f[BIRP]")).replace("\\-", "-");
        const QString completion =
            readText(file("usr/share/bash-completion/completions/" + program));
        for (const QString &option : options) {
            QVERIFY2(text.contains(option), qPrintable("man page: " + option));
            QVERIFY2(completion.contains(option), qPrintable("completion: " + option));
        }
        QVERIFY(text.contains(".SH NAME\n" + program + " - "));
    }

private:
    static QString readText(const QString &path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
    }
};

SONDREL_TEST_MAIN(TestDebPackage)
#include "test_debpackage.moc"
