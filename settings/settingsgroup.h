#pragma once

#include <QString>
#include <QVariant>

#include <optional>
#include <utility>
#include <vector>

class QSettings;

namespace sondrel {

// The values that one part of the program keeps under a name of its own in the kept
// settings (the main window its place and size under "window"), by key within that
// group: the key "geometry" of the group "window" is "window/geometry" in the store.
// It refers to the settings it came from, which must outlive it. Reading never fails: a
// value that is not kept reads as an invalid QVariant, and whether a value validates is
// the reader's question. A write is flushed to the store at once; a store that cannot
// be written is passed over.
class SettingsGroup
{
public:
    SettingsGroup(QSettings &settings, const QString &name);

    QVariant value(const QString &key) const;
    // Keeps each value under its key and flushes them together.
    void setValues(const std::vector<std::pair<QString, QVariant>> &values);

private:
    QString keyOf(const QString &key) const;

    QSettings *m_settings;
    QString m_name;
};

// A kept flag: a true boolean, or its text as the INI format and the registry write it;
// nothing for any other value.
std::optional<bool> keptFlag(const QVariant &value);

} // namespace sondrel
