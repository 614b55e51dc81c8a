#pragma once

#include <QImage>
#include <QLabel>

#include <string>

namespace sondrel {

class PlayerFiles;
class TrackTable;

// The square beside the grid that shows the highlighted track's cover, scaled smoothly to
// fit, or "No cover".
class CoverView : public QLabel
{
public:
    explicit CoverView(QWidget *parent);

    // Shows `image`; a null image shows "No cover".
    void showCover(const QImage &image);
    const QImage &cover() const { return m_image; }

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void rescale();
    QImage m_image;
};

// The cover of track k: the player's thumbnail, or the picture embedded in the track's
// file on the player (below `playerRoot`, which ends with the separator) when that one is
// larger; a null image when there is neither. Never raises.
QImage trackCover(const PlayerFiles &fs, const TrackTable &table, int k,
                  const std::string &playerRoot);

} // namespace sondrel
