#pragma once

#include <QFont>
#include <QRect>

class QGroupBox;
class QWidget;

namespace sondrel {

// Window geometry is designed in twips; 15 twips make one pixel at 96 dots per inch.
// Qt's own scaling takes care of screens with more dots.
constexpr int twips(int value)
{
    return (value >= 0 ? value + 7 : value - 7) / 15;
}

// Places a control at left, top, width and height given in twips.
void placeTwips(QWidget *widget, int left, int top, int width, int height);
// Fixes a window's client area to a size given in twips.
void sizeTwips(QWidget *window, int width, int height);

// Draws a group box as a classic frame, its caption set into the top line so that the
// controls inside keep their places below it. Call it once the box's controls exist.
void styleAsFrame(QGroupBox *box);

// The fonts the windows are designed with, in points at 96 dots per inch.
QFont tahoma(double points = 8.25, bool bold = false);
QFont msSansSerif(double points = 8.25);

// Makes Tahoma and MS Sans Serif available where the system lacks them, from the
// metric-compatible fonts of Wine when they are installed. Call once after the
// application object exists.
void loadFallbackFonts();

} // namespace sondrel
