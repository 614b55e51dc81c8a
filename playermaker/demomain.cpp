// sondrel-demo-player FOLDER: writes the demo player into FOLDER (made when missing):
// FOLDER/iPod_Control/iTunes/iTunesDB and a WAV file for every track.

#include "demoplayer.h"

#include <QCoreApplication>
#include <QDir>

#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() != 2 || args[1].startsWith(QLatin1Char('-'))) {
        std::fprintf(stderr, "usage: sondrel-demo-player FOLDER\n");
        return 64;
    }
    const QString folder = args[1];
    sondrel::test::TestDatabase db = sondrel::test::makeDemoPlayer();
    const sondrel::test::TestArtwork covers = sondrel::test::demoCovers(db);
    if (!QDir().mkpath(folder) || !sondrel::test::writePlayer(folder, db) ||
        !sondrel::test::writeArtwork(folder, covers)) {
        std::fprintf(stderr, "sondrel-demo-player: cannot write the demo player into %s\n",
                     qPrintable(QDir::toNativeSeparators(folder)));
        return 73;
    }
    std::printf("Demo player with %d tracks and %d playlists written to %s\n",
                int(db.tracks.size()), int(db.playlists.size()),
                qPrintable(QDir::toNativeSeparators(QDir(folder).absolutePath())));
    return 0;
}
