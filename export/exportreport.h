#pragma once

#include "platformerror.h"

#include <QObject>
#include <QString>

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace sondrel {

// The list of the tracks a run passed over, in the export directory.
inline constexpr char ExportErrorsFileName[] = "Sondrel export errors.txt";

// What a run has done so far, between the copying thread and the window's thread: each
// track reached is a signal (queued to the window), the bytes an atomic counter that the
// window reads when it repaints, and a cancel goes the other way.
class ExportProgress : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    // The copying thread reached track n of count.
    void reach(int n, int count, const QString &title)
    {
        m_reached.store(n, std::memory_order_relaxed);
        Q_EMIT reached(n, count, title);
    }
    // The number of the track reached last (0 before the first).
    int reachedCount() const { return m_reached.load(std::memory_order_relaxed); }
    // The bytes of the tracks reached, counting the current one as far as it has come.
    void setBytes(std::uint64_t bytes) { m_bytes.store(bytes, std::memory_order_relaxed); }
    std::uint64_t bytes() const { return m_bytes.load(std::memory_order_relaxed); }

    void cancel() { m_cancelled.store(true); }
    bool cancelled() const { return m_cancelled.load(); }

Q_SIGNALS:
    void reached(int n, int count, const QString &title);

private:
    std::atomic<std::uint64_t> m_bytes{0};
    std::atomic<int> m_reached{0};
    std::atomic<bool> m_cancelled{false};
};

// A track the run passed over, and why.
struct SkippedTrack
{
    QString title;
    std::string source;
    QString reason;
};

// How a run went.
struct ExportReport
{
    enum class End {
        Finished,          // every marked track was reached
        Cancelled,         // the user stopped it
        DestinationFailed, // the export drive or folder failed; `failure` tells how
        PlayerGone,        // the player no longer answers; `goneReason` tells why
    };

    End end = End::Finished;
    int count = 0;   // marked tracks
    int reached = 0; // tracks reached, copied or passed over
    int copied = 0;  // placed by this run
    int already = 0; // already there, copied by an earlier run
    std::vector<SkippedTrack> skipped;
    std::optional<PlatformError> failure;
    std::string errorsFile;                         // the list written, when one was
    std::optional<PlatformError> errorsFileFailure; // why the list could not be written
    std::vector<std::string> written;               // the files placed, playlists last
    std::optional<PlatformError> recordFailure;     // why the record could not be written
    std::string player;                             // the player's folder, for PlayerGone
    QString goneReason;                             // the system's word for it
};

} // namespace sondrel
