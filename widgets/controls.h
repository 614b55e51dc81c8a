#pragma once

#include <QFont>
#include <QRect>
#include <QString>
#include <QWidget>

#include <utility>
#include <vector>

class QGroupBox;
class QLineEdit;
class QPushButton;

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

// A control of the given kind whose object name is its name in the window's design.
template <typename Widget, typename... Args>
Widget *makeControl(QWidget *parent, const char *name, Args &&...args)
{
    auto *widget = new Widget(std::forward<Args>(args)..., parent);
    widget->setObjectName(QLatin1String(name));
    return widget;
}

// A command button that wraps its caption like the classic ones; no button of the
// programs is a default (Enter) button.
QPushButton *makeButton(QWidget *parent, const char *name, const QString &caption);

// A read-only text box on the menu colour, as the settings are shown.
QLineEdit *makeSettingBox(QWidget *parent, const char *name, const QString &text = QString());

// Title-bar buttons: main windows have a minimize and a close button, dialogs only the
// close button; only a sizable main window can be maximized.
enum class WindowKind { Main, SizableMain, Dialog };
Qt::WindowFlags classicWindowFlags(WindowKind kind);

// How a control follows a window that is larger than its designed (minimum) size: it
// keeps its designed place and size, moves with the right or the bottom edge, or grows
// with the width or the height. Controls inside a frame follow the frame's growth, which
// is the window's.
enum Follow : unsigned {
    Stays = 0,
    FollowsRight = 1,  // moves right by the extra width
    FollowsBottom = 2, // moves down by the extra height
    GrowsWide = 4,     // grows by the extra width
    GrowsTall = 8,     // grows by the extra height
};

class Anchors
{
public:
    // The control follows from its present (designed) geometry on.
    void add(QWidget *control, unsigned follow);
    // Places every control for a window `extra` pixels larger than designed.
    void apply(QSize extra) const;

private:
    struct Entry
    {
        QWidget *control;
        QRect designed;
        unsigned follow;
    };
    std::vector<Entry> m_entries;
};

// Makes Tahoma and MS Sans Serif available where the system lacks them, from the
// metric-compatible fonts of Wine when they are installed. Call once after the
// application object exists.
void loadFallbackFonts();

} // namespace sondrel
