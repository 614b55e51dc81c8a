#include "wrapbutton.h"

#include <QStyleOptionButton>
#include <QStylePainter>

namespace sondrel {

namespace {

constexpr int Margin = 2; // pixels between the bevel and the caption

int wrapFlags(const QWidget *button)
{
    int flags = Qt::AlignCenter | Qt::TextWordWrap | Qt::TextShowMnemonic;
    if (!button->style()->styleHint(QStyle::SH_UnderlineShortcut, nullptr, button))
        flags |= Qt::TextHideMnemonic;
    return flags;
}

} // namespace

WrapButton::WrapButton(const QString &text, QWidget *parent) : QPushButton(text, parent)
{
    setAutoDefault(false);
}

QRect WrapButton::captionRect() const
{
    return rect().adjusted(Margin, Margin, -Margin, -Margin);
}

int WrapButton::lineCount() const
{
    const QRect needed = fontMetrics().boundingRect(captionRect(), wrapFlags(this), text());
    return qMax(1, needed.height() / qMax(1, fontMetrics().lineSpacing()));
}

void WrapButton::paintEvent(QPaintEvent *)
{
    QStylePainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    const QString caption = option.text;
    option.text.clear();
    painter.drawControl(QStyle::CE_PushButton, option);

    QRect area = captionRect();
    if (isDown() || isChecked())
        area.translate(style()->pixelMetric(QStyle::PM_ButtonShiftHorizontal, &option, this),
                       style()->pixelMetric(QStyle::PM_ButtonShiftVertical, &option, this));
    painter.setPen(
        palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::ButtonText));
    painter.drawText(area, wrapFlags(this), caption);
}

} // namespace sondrel
