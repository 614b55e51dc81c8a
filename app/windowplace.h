#pragma once

#include "settingsgroup.h"

#include <QObject>
#include <QTimer>

class QWidget;

namespace sondrel {

// Keeps a main window's place, size and maximised state from one run to the next.
// Made before the window is first shown, it opens the window where and as large as it
// was left when that shows on a screen (the size at least the window's minimum, at most
// the screen's); else the window keeps its designed place and size. Where the platform
// places windows itself (Wayland) only the size is taken. Afterwards each move, resize
// or change of state is kept a moment after it, and at the latest when the window is
// closed; what the window manager does while it first places the window is not. They
// are kept in `kept`, the group that keptWindowGroup() names.
class WindowPlace : public QObject
{
public:
    WindowPlace(QWidget *window, SettingsGroup kept);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void restore();
    void keep();

    QWidget *m_window;
    SettingsGroup m_kept;
    QTimer m_soon;
    bool m_following = false; // set a moment after the window is first shown
};

} // namespace sondrel
