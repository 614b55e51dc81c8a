#include "settingsgroup.h"

#include <QSettings>

namespace sondrel {

SettingsGroup::SettingsGroup(QSettings &settings, const QString &name)
    : m_settings(&settings), m_name(name)
{
}

QString SettingsGroup::keyOf(const QString &key) const
{
    return m_name + QLatin1Char('/') + key;
}

QVariant SettingsGroup::value(const QString &key) const
{
    return m_settings->value(keyOf(key));
}

void SettingsGroup::setValues(const std::vector<std::pair<QString, QVariant>> &values)
{
    for (const auto &[key, value] : values)
        m_settings->setValue(keyOf(key), value);
    m_settings->sync();
}

std::optional<bool> keptFlag(const QVariant &value)
{
    if (value.typeId() == QMetaType::Bool)
        return value.toBool();
    if (value.typeId() != QMetaType::QString)
        return std::nullopt;
    const QString text = value.toString().trimmed().toLower();
    if (text == QLatin1String("true") || text == QLatin1String("1"))
        return true;
    if (text == QLatin1String("false") || text == QLatin1String("0"))
        return false;
    return std::nullopt;
}

} // namespace sondrel
