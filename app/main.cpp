#include "controls.h"
#include "frmmain.h"
#include "startoptions.h"

#include <QApplication>
#include <QCommandLineParser>

int main(int argc, char **argv)
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    if (sondrel::asksForTextOnly(arguments)) {
        // --help and --version print and end here, before anything needs a display.
        QCoreApplication app(argc, argv);
        QCoreApplication::setApplicationName(QStringLiteral("Sondrel"));
        QCoreApplication::setApplicationVersion(QStringLiteral(SONDREL_VERSION));
        QCommandLineParser parser;
        sondrel::addStartOptions(parser);
        parser.process(app);
        return 0;
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Sondrel"));
    QApplication::setApplicationVersion(QStringLiteral(SONDREL_VERSION));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/logo.png")));
    sondrel::loadFallbackFonts();

    // --help and a wrong option end here, with the usage.
    QCommandLineParser parser;
    sondrel::addStartOptions(parser);
    parser.process(app);
    const sondrel::StartOptions options = sondrel::startOptions(parser);

    sondrel::FrmMain window({}, sondrel::keptSettingsFor(options));
    sondrel::applyStartOptions(window, options);
    window.show();
    return QApplication::exec();
}
