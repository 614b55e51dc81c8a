#include "controls.h"
#include "setupwindow.h"

#include <QApplication>
#include <QIcon>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("VemoSetup"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/logo.png")));
    sondrel::loadFallbackFonts();

    sondrel::setup::FrmMain window;
    window.show();
    return QApplication::exec();
}
