#pragma once

#include "namefields.h"
#include "settingsgroup.h"

#include <QString>

#include <memory>
#include <optional>
#include <vector>

class QSettings;

namespace sondrel {

// The choices a user made in Sondrel, kept from one run to the next with QSettings,
// organisation and application "Sondrel": ~/.config/Sondrel/Sondrel.conf on Linux,
// HKCU\Software\Sondrel\Sondrel on Windows.
//
// Reading never fails: a value that is missing, damaged or does not validate reads as
// not kept (or, for the options, as the option's default), and the others are still
// read. Each write is a choice the user has just made, and it is flushed to the store at
// once, so that a crash loses nothing; a store that cannot be written is passed over.
// Fallbacks chosen at start-up are never written: only the user's choices are.
class KeptSettings
{
public:
    // The user's own settings.
    KeptSettings();
    // Settings in a file of their own, in the INI format (tests, demonstrations).
    explicit KeptSettings(const QString &file);
    ~KeptSettings();
    KeptSettings(const KeptSettings &) = delete;
    KeptSettings &operator=(const KeptSettings &) = delete;

    // The file (or, on Windows, the registry key) that holds them.
    QString location() const;

    // The export directory the user chose last, as chosen (ending with the separator);
    // empty when none is kept. Whether it still exists is the caller's question.
    QString exportDirectory() const;
    void setExportDirectory(const QString &directory);

    // The name-field list in the composer's order with its chosen entries; nothing when
    // none is kept or the kept one does not validate (an unknown or repeated label, or
    // "Title" not chosen). Entries the kept list lacks follow it, not chosen.
    std::optional<NameFields> nameFields() const;
    void setNameFields(const NameFields &fields);

    // Every export option as kept, each one's default where it is not.
    ExportOptions exportOptions() const;
    void setExportOptions(const ExportOptions &options);

    // The widths of the grid's columns in pixels, from the first data column on; 0 for a
    // column whose width is not kept (or does not validate).
    std::vector<int> columnWidths() const;
    void setColumnWidths(const std::vector<int> &widths);

    // The values a part of the program keeps itself, under `name`.
    SettingsGroup group(const QString &name);

private:
    void flush();

    std::unique_ptr<QSettings> m_settings;
};

} // namespace sondrel
