#pragma once

#include <QPushButton>

namespace sondrel {

// A command button whose caption wraps onto further lines when it is wider than the
// button, centred, as the classic command buttons do. The caption stays the button's
// text (and its accessible name); only the drawing differs.
class WrapButton : public QPushButton
{
public:
    explicit WrapButton(const QString &text, QWidget *parent = nullptr);

    // The lines the caption needs at the button's present width.
    int lineCount() const;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QRect captionRect() const;
};

} // namespace sondrel
