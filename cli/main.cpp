#include "exportcommand.h"

#include <QCoreApplication>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("sondrel-export"));
    QCoreApplication::setApplicationVersion(QStringLiteral(SONDREL_VERSION));
    return sondrel::runExportCommand(QCoreApplication::arguments());
}
