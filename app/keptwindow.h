#pragma once

#include <QRect>
#include <QString>

#include <optional>

namespace sondrel {

class KeptSettings;
class SettingsGroup;

// Where and how large the main window was left: its client area in its normal (not
// maximised) state, and whether it was maximised.
struct KeptWindow
{
    QRect geometry;
    bool maximized = false;

    friend bool operator==(const KeptWindow &, const KeptWindow &) = default;
};

// The group of the kept settings that holds the main window's place and size.
SettingsGroup keptWindowGroup(KeptSettings &kept);

// The main window's place and size as kept in `group`; nothing when none is kept or it
// is no area. Whether it lies on a screen is the window's question.
std::optional<KeptWindow> readKeptWindow(const SettingsGroup &group);
void writeKeptWindow(SettingsGroup &group, const KeptWindow &window);

} // namespace sondrel
