#include "frmmain.h"
#include "startoptions.h"
#include "ui.h"

#include <QApplication>
#include <QCommandLineParser>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Sondrel"));
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
