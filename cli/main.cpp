#include "exportcommand.h"
#include "memory.h"

#include <QCoreApplication>

int main(int argc, char **argv)
{
    sondrel::preferLargePagesForHeap(); // a whole player is read at once
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("sondrel-export"));
    QCoreApplication::setApplicationVersion(QStringLiteral(SONDREL_VERSION));
    return sondrel::runExportCommand(QCoreApplication::arguments());
}
