#include "keptwindow.h"

#include "keptsettings.h"
#include "settingsgroup.h"

namespace sondrel {

namespace {

const QString GeometryKey = QStringLiteral("geometry");
const QString MaximizedKey = QStringLiteral("maximized");

// Far beyond any screen, but still a size that arithmetic on it cannot overflow.
constexpr int MaxExtent = 100000;

} // namespace

SettingsGroup keptWindowGroup(KeptSettings &kept)
{
    return kept.group(QStringLiteral("window"));
}

std::optional<KeptWindow> readKeptWindow(const SettingsGroup &group)
{
    const QVariant value = group.value(GeometryKey);
    if (value.typeId() != QMetaType::QRect)
        return std::nullopt;
    const QRect geometry = value.toRect();
    const auto within = [](int n, int low) { return n >= low && n <= MaxExtent; };
    if (!within(geometry.width(), 1) || !within(geometry.height(), 1) ||
        !within(geometry.x(), -MaxExtent) || !within(geometry.y(), -MaxExtent))
        return std::nullopt;
    return KeptWindow{geometry, keptFlag(group.value(MaximizedKey)).value_or(false)};
}

void writeKeptWindow(SettingsGroup &group, const KeptWindow &window)
{
    group.setValues({{GeometryKey, window.geometry}, {MaximizedKey, window.maximized}});
}

} // namespace sondrel
