#pragma once

#include <QString>
#include <QtGlobal>

#include <cstdint>

namespace sondrel {

// The progress of an export on the standard error stream. On a terminal it is one line,
// drawn over itself at most ten times a second; elsewhere (a log, a pipe) one line is
// written at each 5% of the bytes, or after a minute without one, whichever comes first.
class ProgressLine
{
public:
    ProgressLine(bool terminal, int files, std::uint64_t bytes);

    // The text to write when `reached` files and `copied` bytes are done at `nowMs` (a
    // monotonic clock, from the start of the copies), or an empty text when nothing is
    // due. On a terminal the text starts with a carriage return and is padded over the
    // line before.
    QString update(int reached, std::uint64_t copied, qint64 nowMs);
    // The last text: the line as it ends (a terminal's line is finished with a line end);
    // empty when nothing was written since the last update on a log.
    QString finish(int reached, std::uint64_t copied, qint64 nowMs);

    // "12/400 files, 1.2 MB of 20.5 GB, 35.2 MB/s, 9 min 12 s left".
    QString text(int reached, std::uint64_t copied, qint64 nowMs) const;

private:
    QString drawn(const QString &line);

    bool m_terminal;
    int m_files;
    std::uint64_t m_bytes;
    qint64 m_last = -1; // when the last line was written
    int m_step = 0;     // the 5% steps written on a log
    int m_width = 0;    // of the terminal's line as last drawn
};

// A number of bytes as people read it: "512 B", "1.5 KB", "20.5 GB" (binary multiples).
QString byteText(double bytes);
// A time left: "45 s", "9 min 12 s", "2 h 05 min".
QString timeLeftText(double seconds);

} // namespace sondrel
