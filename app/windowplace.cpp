#include "windowplace.h"

#include "keptwindow.h"

#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <algorithm>
#include <utility>

namespace sondrel {

namespace {

// A kept place counts only when the top of the window (its title bar) shows on a screen
// over at least this many pixels.
constexpr int VisibleTitleWidth = 100;
constexpr int TitleBarHeight = 20;

// What the window manager does within this time of the first showing is its placing.
constexpr int PlacingMs = 500;
// Moves and resizes come in bursts while the user drags: the last one is kept.
constexpr int SettleMs = 300;

// The screen on which a window at `area` would show its title bar; none when it is off
// every screen (a monitor unplugged since).
const QScreen *screenShowing(const QRect &area)
{
    const QRect titleBar(area.left(), area.top(), area.width(), TitleBarHeight);
    for (const QScreen *screen : QGuiApplication::screens()) {
        if (screen->availableGeometry().intersected(titleBar).width() >=
            std::min(VisibleTitleWidth, area.width()))
            return screen;
    }
    return nullptr;
}

// Wayland leaves the placing of windows to the compositor.
bool platformPlacesWindows()
{
    return !QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
}

} // namespace

WindowPlace::WindowPlace(QWidget *window, SettingsGroup kept)
    : QObject(window), m_window(window), m_kept(std::move(kept))
{
    m_soon.setSingleShot(true);
    m_soon.setInterval(SettleMs);
    connect(&m_soon, &QTimer::timeout, this, &WindowPlace::keep);
    restore();
    window->installEventFilter(this);
}

void WindowPlace::restore()
{
    const std::optional<KeptWindow> kept = readKeptWindow(m_kept);
    if (!kept)
        return;
    if (const QScreen *screen = screenShowing(kept->geometry)) {
        const QSize least = m_window->minimumSize();
        const QSize size = kept->geometry.size().expandedTo(least).boundedTo(
            screen->availableGeometry().size().expandedTo(least));
        if (platformPlacesWindows())
            m_window->setGeometry(QRect(kept->geometry.topLeft(), size));
        else
            m_window->resize(size);
    }
    if (kept->maximized)
        m_window->setWindowState(m_window->windowState() | Qt::WindowMaximized);
}

void WindowPlace::keep()
{
    const QWidget &w = *m_window;
    if (w.isMinimized() || w.isFullScreen() || !w.isVisible())
        return;
    const KeptWindow now{w.isMaximized() ? w.normalGeometry() : w.geometry(), w.isMaximized()};
    if (now.geometry.isValid() && readKeptWindow(m_kept) != now)
        writeKeptWindow(m_kept, now);
}

bool WindowPlace::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != m_window)
        return false;
    switch (event->type()) {
    case QEvent::Show:
        if (!m_following)
            QTimer::singleShot(PlacingMs, this, [this] { m_following = true; });
        break;
    case QEvent::Move:
    case QEvent::Resize:
    case QEvent::WindowStateChange:
        if (m_following)
            m_soon.start();
        break;
    case QEvent::Close:
        if (m_soon.isActive()) {
            m_soon.stop();
            keep();
        }
        break;
    default:
        break;
    }
    return false;
}

} // namespace sondrel
