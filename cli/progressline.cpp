#include "progressline.h"

#include <cmath>

namespace sondrel {

namespace {

constexpr qint64 TerminalInterval = 100; // ms: ten lines a second at most
constexpr qint64 LogInterval = 60000;    // a line a minute at least
constexpr int LogSteps = 20;             // a line at each 5%

} // namespace

QString byteText(double bytes)
{
    static const char *const units[] = {"B", "KB", "MB", "GB", "TB"};
    int unit = 0;
    while (bytes >= 1024 && unit + 1 < int(std::size(units))) {
        bytes /= 1024;
        ++unit;
    }
    if (unit == 0)
        return QStringLiteral("%1 B").arg(qint64(bytes));
    return QStringLiteral("%1 %2").arg(bytes, 0, 'f', 1).arg(QLatin1String(units[unit]));
}

QString timeLeftText(double seconds)
{
    const qint64 s = qint64(std::ceil(std::max(seconds, 0.0)));
    if (s < 60)
        return QStringLiteral("%1 s").arg(s);
    if (s < 3600)
        return QStringLiteral("%1 min %2 s").arg(s / 60).arg(s % 60, 2, 10, QLatin1Char('0'));
    return QStringLiteral("%1 h %2 min").arg(s / 3600).arg(s / 60 % 60, 2, 10, QLatin1Char('0'));
}

ProgressLine::ProgressLine(bool terminal, int files, std::uint64_t bytes)
    : m_terminal(terminal), m_files(files), m_bytes(bytes)
{
}

QString ProgressLine::text(int reached, std::uint64_t copied, qint64 nowMs) const
{
    QString line = QStringLiteral("%1/%2 files, %3 of %4")
                       .arg(reached)
                       .arg(m_files)
                       .arg(byteText(double(copied)), byteText(double(m_bytes)));
    if (nowMs > 0 && copied > 0) {
        const double rate = double(copied) * 1000 / double(nowMs);
        line += QStringLiteral(", %1/s").arg(byteText(rate));
        if (m_bytes >= copied)
            line += QStringLiteral(", %1 left").arg(timeLeftText(double(m_bytes - copied) / rate));
    }
    return line;
}

QString ProgressLine::drawn(const QString &line)
{
    QString out = QLatin1Char('\r') + line;
    if (line.size() < m_width)
        out += QString(m_width - line.size(), QLatin1Char(' '));
    m_width = int(line.size());
    return out;
}

QString ProgressLine::update(int reached, std::uint64_t copied, qint64 nowMs)
{
    if (m_terminal) {
        if (m_last >= 0 && nowMs - m_last < TerminalInterval)
            return QString();
        m_last = nowMs;
        return drawn(text(reached, copied, nowMs));
    }
    const int step = m_bytes == 0 ? (m_files == 0 ? 0 : reached * LogSteps / m_files)
                                  : int(double(copied) / double(m_bytes) * LogSteps);
    const bool minute = nowMs - std::max<qint64>(m_last, 0) >= LogInterval;
    if (step <= m_step && !minute)
        return QString();
    m_step = std::max(step, m_step);
    m_last = nowMs;
    return text(reached, copied, nowMs) + QLatin1Char('\n');
}

QString ProgressLine::finish(int reached, std::uint64_t copied, qint64 nowMs)
{
    if (m_terminal)
        return drawn(text(reached, copied, nowMs)) + QLatin1Char('\n');
    if (m_step >= LogSteps)
        return QString();
    m_step = LogSteps;
    return text(reached, copied, nowMs) + QLatin1Char('\n');
}

} // namespace sondrel
