#include "frmmain.h"
#include "ui.h"

#include <QApplication>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Sondrel"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/logo.png")));
    sondrel::loadFallbackFonts();

    sondrel::FrmMain window({}, std::make_unique<sondrel::KeptSettings>());
    window.show();
    return QApplication::exec();
}
