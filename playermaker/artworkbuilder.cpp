#include "artworkbuilder.h"

#include "itunesdbbuilder.h"

#include <QMap>

#include <algorithm>

namespace sondrel::test {

namespace {

void putLe16(QByteArray &out, int offset, int value)
{
    out[offset] = char(value & 0xFF);
    out[offset + 1] = char((value >> 8) & 0xFF);
}

int begin(QByteArray &out, const char *tag, int headerLength)
{
    const int start = int(out.size());
    out.append(tag, 4);
    out.append(QByteArray(headerLength - 4, '\0'));
    putLe32(out, start + 4, headerLength);
    return start;
}

void end(QByteArray &out, int start)
{
    putLe32(out, start + 8, qint32(out.size() - start));
}

QString fileNameOf(const TestThumbnail &t)
{
    return QStringLiteral("F%1_%2.ithmb").arg(t.format).arg(t.file);
}

} // namespace

quint16 rgb565(quint32 colour)
{
    return quint16(((colour >> 19) & 0x1F) << 11 | ((colour >> 10) & 0x3F) << 5 |
                   ((colour >> 3) & 0x1F));
}

quint32 widened(quint16 pixel)
{
    const quint32 r = pixel >> 11, g = (pixel >> 5) & 0x3F, b = pixel & 0x1F;
    return (r << 3 | r >> 2) << 16 | (g << 2 | g >> 4) << 8 | (b << 3 | b >> 2);
}

TestThumbnail fitThumbnail(quint32 format, int side, int pictureWidth, int pictureHeight,
                           quint32 colour, quint32 padColour)
{
    TestThumbnail t;
    t.format = format;
    t.slotWidth = t.slotHeight = side;
    // The longer side fills the slot; the other is centred, the padding on both sides.
    const int w = pictureWidth >= pictureHeight ? side : side * pictureWidth / pictureHeight;
    const int h = pictureHeight >= pictureWidth ? side : side * pictureHeight / pictureWidth;
    t.hpad = (side - w) / 2;
    t.vpad = (side - h) / 2;
    t.width = side - t.hpad;
    t.height = side - t.vpad;
    t.pixels.resize(side * side * 2);
    const quint16 inside = rgb565(colour), outside = rgb565(padColour);
    for (int y = 0; y < side; ++y) {
        for (int x = 0; x < side; ++x) {
            const bool in = x >= t.hpad && x < t.width && y >= t.vpad && y < t.height;
            putLe16(t.pixels, (y * side + x) * 2, in ? inside : outside);
        }
    }
    return t;
}

BuiltArtwork buildArtwork(const TestArtwork &artwork)
{
    BuiltArtwork built;
    QMap<quint32, int> formats; // format -> bytes per image
    QByteArray images;
    for (const TestImage &image : artwork.images) {
        const int ii = begin(images, "mhii", 0x98);
        putLe32(images, ii + 12, qint32(image.thumbnails.size()));
        putLe32(images, ii + 16, qint32(image.id));
        putLe32(images, ii + 20, qint32(quint32(image.songId)));
        putLe32(images, ii + 24, qint32(quint32(image.songId >> 32)));
        int source = 0;
        for (const TestThumbnail &t : image.thumbnails) {
            QByteArray &file = built.files[fileNameOf(t)];
            const int offset = int(file.size());
            file.append(t.pixels);
            formats.insert(t.format, int(t.pixels.size()));
            source = std::max(source, int(t.pixels.size()));

            const int od = begin(images, "mhod", 0x18);
            putLe16(images, od + 12, 2);
            const int ni = begin(images, "mhni", 0x4C);
            putLe32(images, ni + 12, 1);
            putLe32(images, ni + 16, qint32(t.format));
            putLe32(images, ni + 20, offset);
            putLe32(images, ni + 24, qint32(t.pixels.size()));
            putLe16(images, ni + 28, t.vpad);
            putLe16(images, ni + 30, t.hpad);
            putLe16(images, ni + 32, t.height);
            putLe16(images, ni + 34, t.width);
            const int name = begin(images, "mhod", 0x18);
            putLe16(images, name + 12, 3);
            const QString text =
                t.fileName.isEmpty() ? QLatin1Char(':') + fileNameOf(t) : t.fileName;
            QByteArray utf16;
            for (QChar c : text)
                utf16.append(char(c.unicode() & 0xFF)).append(char(c.unicode() >> 8));
            images.append(QByteArray(12, '\0'));
            putLe32(images, name + 24, qint32(utf16.size()));
            putLe32(images, name + 28, 2);
            images.append(utf16);
            images.append(QByteArray((4 - utf16.size() % 4) % 4, '\0'));
            end(images, name);
            end(images, ni);
            end(images, od);
        }
        putLe32(images, ii + 48, source);
        end(images, ii);
    }

    QByteArray &out = built.database;
    const int fd = begin(out, "mhfd", 0x84);
    putLe32(out, fd + 20, 3);
    for (int index = 1; index <= 3; ++index) {
        const int sd = begin(out, "mhsd", 0x60);
        putLe16(out, sd + 12, index);
        if (index == 1) {
            const int li = begin(out, "mhli", 0x5C);
            putLe32(out, li + 8, qint32(artwork.images.size()));
            out.append(images);
        } else if (index == 2) {
            begin(out, "mhla", 0x5C);
        } else {
            const int lf = begin(out, "mhlf", 0x5C);
            putLe32(out, lf + 8, qint32(formats.size()));
            for (auto f = formats.cbegin(); f != formats.cend(); ++f) {
                const int fi = begin(out, "mhif", 0x7C);
                putLe32(out, fi + 16, qint32(f.key()));
                putLe32(out, fi + 20, f.value());
                end(out, fi);
            }
        }
        end(out, sd);
    }
    end(out, fd);
    return built;
}

bool writeArtwork(const QString &root, const TestArtwork &artwork)
{
    const BuiltArtwork built = buildArtwork(artwork);
    if (!writePlayerFile(root, QStringLiteral("iPod_Control/Artwork/ArtworkDB"), built.database))
        return false;
    for (auto f = built.files.cbegin(); f != built.files.cend(); ++f) {
        if (!writePlayerFile(root, QStringLiteral("iPod_Control/Artwork/") + f.key(), f.value()))
            return false;
    }
    return true;
}

} // namespace sondrel::test
