#include "appstate.h"

#include "totals.h"

namespace sondrel {

AppState::AppState(QObject *parent) : QObject(parent), m_nameFields(defaultNameFields()) {}

void AppState::setPlayerDrive(const QString &drive)
{
    m_playerDrive = drive;
    Q_EMIT playerDriveChanged(m_playerDrive);
}

void AppState::setExportDirectory(const QString &directory)
{
    m_exportDirectory = directory;
    Q_EMIT exportDirectoryChanged(m_exportDirectory);
}

void AppState::setNameFields(const NameFields &fields, const QString &exportName,
                             const ExportOptions &options)
{
    m_nameFields = fields;
    m_exportName = exportName;
    m_exportOptions = options;
    Q_EMIT nameFieldsChanged();
}

void AppState::flip(int k)
{
    const Track &track = m_tracks.track(k);
    const std::uint64_t milliseconds = countedDuration(track.duration);
    auto mark = m_marks[std::size_t(k - 1)];
    if (mark) {
        m_totals.count -= 1;
        m_totals.bytes -= track.size;
        m_totals.milliseconds -= milliseconds;
    } else {
        m_totals.count += 1;
        m_totals.bytes += track.size;
        m_totals.milliseconds += milliseconds;
    }
    mark.flip();
}

void AppState::toggleMarks(std::span<const int> tracks)
{
    m_marks.resize(std::size_t(m_tracks.count()), false);
    for (const int k : tracks) {
        if (m_tracks.contains(k))
            flip(k);
    }
    Q_EMIT marksChanged();
}

void AppState::setMarks(std::span<const int> tracks, bool marked)
{
    m_marks.resize(std::size_t(m_tracks.count()), false);
    for (const int k : tracks) {
        if (m_tracks.contains(k) && m_marks[std::size_t(k - 1)] != marked)
            flip(k);
    }
    Q_EMIT marksChanged();
}

void AppState::clearMarks()
{
    m_marks.assign(std::size_t(m_tracks.count()), false);
    m_totals = {};
    Q_EMIT marksChanged();
}

} // namespace sondrel
