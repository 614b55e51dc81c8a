#pragma once

#include "namefields.h"
#include "totals.h"
#include "tracktable.h"

#include <QObject>
#include <QString>

#include <cstdint>
#include <span>
#include <vector>

namespace sondrel {

// Everything Sondrel's main window holds that is not a widget: the settings, the track
// table, which tracks are marked for export and the totals of the marked ones. It lives
// for one run of the program; nothing of it is stored. The actions read and change it;
// the window shows it, told of every change by the signals below.
class AppState : public QObject
{
    Q_OBJECT

public:
    explicit AppState(QObject *parent = nullptr);

    // The root of the player's drive; ends with the platform's separator.
    const QString &playerDrive() const { return m_playerDrive; }
    void setPlayerDrive(const QString &drive);
    // The export directory; ends with the platform's separator.
    const QString &exportDirectory() const { return m_exportDirectory; }
    void setExportDirectory(const QString &directory);

    // The export-name fields in list order, and the pattern's display form ("Title_Artist"),
    // which stays empty until the composer first confirms a pattern.
    const NameFields &nameFields() const { return m_nameFields; }
    const QString &exportName() const { return m_exportName; }
    // The composer's options of the export run.
    const ExportOptions &exportOptions() const { return m_exportOptions; }
    // The composer's confirmation: fields, display form and options change together.
    void setNameFields(const NameFields &fields, const QString &exportName,
                       const ExportOptions &options);
    // The same, the options kept as they are.
    void setNameFields(const NameFields &fields, const QString &exportName)
    {
        setNameFields(fields, exportName, m_exportOptions);
    }

    // The tracks of the last check of the player. Whoever fills the table anew clears
    // the marks first (clearMarks), so that no mark outlives its track.
    TrackTable &tracks() { return m_tracks; }
    const TrackTable &tracks() const { return m_tracks; }

    // Whether track k (1..n) is marked for export.
    bool isMarked(int k) const
    {
        return k >= 1 && std::size_t(k) <= m_marks.size() && m_marks[std::size_t(k - 1)];
    }
    // Flips the mark of each track of `tracks`, in that order, and keeps the totals
    // exact; numbers that name no track of the table are passed over.
    void toggleMarks(std::span<const int> tracks);
    // Marks (`marked`) or unmarks each track of `tracks`; tracks already so, and numbers
    // that name no track of the table, are passed over.
    void setMarks(std::span<const int> tracks, bool marked);
    // No track marked, all totals 0.
    void clearMarks();
    const SelectionTotals &totals() const { return m_totals; }

Q_SIGNALS:
    void playerDriveChanged(const QString &drive);
    void exportDirectoryChanged(const QString &directory);
    void nameFieldsChanged();
    // Marks and totals changed (once per toggle or clear, not once per track).
    void marksChanged();

private:
    // Flips the mark of track k (of the table) and its share of the totals.
    void flip(int k);

    QString m_playerDrive;
    QString m_exportDirectory;
    NameFields m_nameFields;
    QString m_exportName;
    ExportOptions m_exportOptions;
    TrackTable m_tracks;
    std::vector<bool> m_marks;
    SelectionTotals m_totals;
};

} // namespace sondrel
