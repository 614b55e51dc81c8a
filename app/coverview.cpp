#include "coverview.h"

#include "coverart.h"
#include "historytags.h"
#include "playerpaths.h"
#include "tracktable.h"

namespace sondrel {

CoverView::CoverView(QWidget *parent) : QLabel(parent)
{
    setAlignment(Qt::AlignCenter);
    setFrameShape(QFrame::StyledPanel);
    setAccessibleName(QStringLiteral("Cover"));
    showCover({});
}

void CoverView::showCover(const QImage &image)
{
    m_image = image;
    rescale();
}

void CoverView::resizeEvent(QResizeEvent *event)
{
    QLabel::resizeEvent(event);
    rescale();
}

void CoverView::rescale()
{
    if (m_image.isNull()) {
        setPixmap({});
        setText(QStringLiteral("No cover"));
        return;
    }
    const QSize room = contentsRect().size();
    setPixmap(
        QPixmap::fromImage(m_image.scaled(room, Qt::KeepAspectRatio, Qt::SmoothTransformation)));
}

QImage trackCover(const PlayerFiles &fs, const TrackTable &table, int k,
                  const std::string &playerRoot)
{
    if (!table.contains(k))
        return {};
    QImage player;
    const Track &track = table.track(k);
    if (track.coverImage && table.artwork()) {
        const CoverPixels pixels = readCover(fs, *table.artwork(), track.coverImage);
        if (!pixels.isNull())
            player = QImage(pixels.rgb.data(), pixels.width, pixels.height, pixels.width * 3,
                            QImage::Format_RGB888)
                         .copy(); // the pixels go with `pixels`
    }
    const QString location = table.text(k, FieldLocation);
    const std::optional<std::vector<std::string>> names = locationNames(location, fs.separator());
    if (names) {
        CaseInsensitiveFolders folders(fs);
        const std::string path = resolvePlayerPath(fs, folders, playerRoot, *names);
        const JpegBytes own = embeddedPicture(fs, playerRoot, path, historyFormat(names->back()));
        if (!own.empty()) {
            const QImage embedded = QImage::fromData(own.data(), int(own.size()));
            if (!embedded.isNull() && qint64(embedded.width()) * embedded.height() >
                                          qint64(player.width()) * player.height())
                return embedded;
        }
    }
    return player;
}

} // namespace sondrel
