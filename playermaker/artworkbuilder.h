#pragma once

// Builds a player's artwork for tests, benchmarks and the demo player: the
// "iPod_Control/Artwork/ArtworkDB" and its thumbnail files "F<format>_<n>.ithmb", as the
// desktop software writes them. Plain C++ over QtCore.
//
//     TestArtwork art;
//     art.images << TestImage{7, 0x1000000000000001ull,
//                             {fitThumbnail(1060, 320, 600, 400, 0x2040C0)}};
//     QVERIFY(writeArtwork(root, art));      // the track links to 7 (TestTrack::artworkLink)
//                                            // or its persistent ID is the song ID
//
// Layout: "mhfd" (header 0x84, 3 data sets) with "mhsd" 1 (the image list "mhli" with one
// "mhii" per image, each with one "mhod" of type 2 per thumbnail holding its "mhni" and
// that one's file-name "mhod" of type 3), "mhsd" 2 (an empty album list) and "mhsd" 3 (the
// format list "mhlf" with one "mhif" per format).

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>

#include <cstdint>

namespace sondrel::test {

// One thumbnail of an image: an RGB565 slot in a thumbnail file.
struct TestThumbnail
{
    quint32 format = 1060;
    int slotWidth = 320, slotHeight = 320;
    // As the "mhni" stores them: the padding, and the picture's far edges in the slot.
    int hpad = 0, vpad = 0;
    int width = 320, height = 320;
    int file = 1;      // written to F<format>_<file>.ithmb
    QByteArray pixels; // the slot, slotWidth x slotHeight x 2 bytes (its size is stored)
    QString fileName;  // when set, stored as the file's name instead of ":F<format>_<file>.ithmb"
};

// One image ("mhii") and the song ID (the first track's persistent ID) it names.
struct TestImage
{
    quint32 id = 0;
    quint64 songId = 0;
    QList<TestThumbnail> thumbnails;
};

struct TestArtwork
{
    QList<TestImage> images;
};

// A thumbnail of a picture of pictureWidth x pictureHeight in one colour (0xRRGGBB),
// fitted into a square slot of `side` and centred, the padding in `padColour`.
TestThumbnail fitThumbnail(quint32 format, int side, int pictureWidth, int pictureHeight,
                           quint32 colour, quint32 padColour = 0);
// A colour as RGB565, and back as the reader widens it.
quint16 rgb565(quint32 colour);
quint32 widened(quint16 pixel);

// The ArtworkDB and the thumbnail files by name ("F1060_1.ithmb"), the slots of each file
// in the order the images list them.
struct BuiltArtwork
{
    QByteArray database;
    QMap<QString, QByteArray> files;
};
BuiltArtwork buildArtwork(const TestArtwork &artwork);

// Writes <root>/iPod_Control/Artwork/ArtworkDB and the thumbnail files; false when a file
// cannot be written.
bool writeArtwork(const QString &root, const TestArtwork &artwork);

} // namespace sondrel::test
