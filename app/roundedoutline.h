#pragma once

#include <QColor>
#include <QPainter>
#include <QWidget>

namespace sondrel {

// A rounded-rectangle outline drawn behind other controls; it takes no input.
class RoundedOutline : public QWidget
{
public:
    RoundedOutline(const QColor &colour, QWidget *parent) : QWidget(parent), m_colour(colour)
    {
        setAttribute(Qt::WA_TransparentForMouseEvents);
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(QPen(m_colour, 1));
        painter.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 8, 8);
    }

private:
    QColor m_colour;
};

} // namespace sondrel
