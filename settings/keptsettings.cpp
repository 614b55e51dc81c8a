#include "keptsettings.h"

#include <QSettings>
#include <QStringList>

#include <algorithm>

namespace sondrel {

namespace {

const QString DirectoryKey = QStringLiteral("export/directory");
const QString NameFieldsKey = QStringLiteral("export/nameFields");
const QString ChosenNameFieldsKey = QStringLiteral("export/chosenNameFields");
const QString OptionsGroup = QStringLiteral("exportOptions/");
const QString ColumnWidthsKey = QStringLiteral("grid/columnWidths");

constexpr int MaxColumnWidth = 10000;
constexpr std::size_t MaxColumns = 256;

// A kept list of texts: a list, or a single text (how the INI format reads a list of one).
std::optional<QStringList> textsOf(const QVariant &value)
{
    if (value.typeId() == QMetaType::QStringList)
        return value.toStringList();
    if (value.typeId() == QMetaType::QString)
        return QStringList{value.toString()};
    return std::nullopt;
}

} // namespace

KeptSettings::KeptSettings()
    : m_settings(std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                             QStringLiteral("Sondrel"), QStringLiteral("Sondrel")))
{
}

KeptSettings::KeptSettings(const QString &file)
    : m_settings(std::make_unique<QSettings>(file, QSettings::IniFormat))
{
}

KeptSettings::~KeptSettings() = default;

QString KeptSettings::location() const
{
    return m_settings->fileName();
}

void KeptSettings::flush()
{
    m_settings->sync();
}

QString KeptSettings::exportDirectory() const
{
    const QVariant value = m_settings->value(DirectoryKey);
    return value.typeId() == QMetaType::QString ? value.toString() : QString();
}

void KeptSettings::setExportDirectory(const QString &directory)
{
    m_settings->setValue(DirectoryKey, directory);
    flush();
}

std::optional<NameFields> KeptSettings::nameFields() const
{
    const std::optional<QStringList> order = textsOf(m_settings->value(NameFieldsKey));
    const std::optional<QStringList> chosen = textsOf(m_settings->value(ChosenNameFieldsKey));
    if (!order || !chosen)
        return std::nullopt;
    NameFields known = defaultNameFields();
    NameFields fields;
    for (const QString &label : *order) {
        const auto at = std::find_if(known.begin(), known.end(),
                                     [&](const NameField &f) { return f.label == label; });
        if (at == known.end()) // unknown, or named twice
            return std::nullopt;
        fields.push_back(*at);
        known.erase(at);
    }
    for (NameField &field : known) // fields the kept list did not know yet
        fields.push_back(field);
    for (NameField &field : fields)
        field.chosen = chosen->contains(field.label);
    for (const QString &label : *chosen) {
        if (!order->contains(label))
            return std::nullopt;
    }
    if (!titleChosen(fields))
        return std::nullopt;
    return fields;
}

void KeptSettings::setNameFields(const NameFields &fields)
{
    QStringList order;
    QStringList chosen;
    for (const NameField &field : fields) {
        order << field.label;
        if (field.chosen)
            chosen << field.label;
    }
    m_settings->setValue(NameFieldsKey, order);
    m_settings->setValue(ChosenNameFieldsKey, chosen);
    flush();
}

ExportOptions KeptSettings::exportOptions() const
{
    ExportOptions options;
    for (const ExportOptionKey &kept : ExportOptionKeys) {
        if (const std::optional<bool> flag =
                keptFlag(m_settings->value(OptionsGroup + QLatin1String(kept.key))))
            options.*kept.option = *flag;
    }
    return options;
}

void KeptSettings::setExportOptions(const ExportOptions &options)
{
    for (const ExportOptionKey &kept : ExportOptionKeys)
        m_settings->setValue(OptionsGroup + QLatin1String(kept.key), options.*kept.option);
    flush();
}

std::vector<int> KeptSettings::columnWidths() const
{
    std::vector<int> widths;
    const std::optional<QStringList> texts = textsOf(m_settings->value(ColumnWidthsKey));
    if (!texts)
        return widths;
    for (const QString &text : *texts) {
        if (widths.size() == MaxColumns)
            break;
        bool ok = false;
        const int width = text.trimmed().toInt(&ok);
        widths.push_back(ok && width >= 1 && width <= MaxColumnWidth ? width : 0);
    }
    return widths;
}

void KeptSettings::setColumnWidths(const std::vector<int> &widths)
{
    QStringList texts;
    for (const int width : widths)
        texts << QString::number(width);
    m_settings->setValue(ColumnWidthsKey, texts);
    flush();
}

SettingsGroup KeptSettings::group(const QString &name)
{
    return SettingsGroup(*m_settings, name);
}

} // namespace sondrel
