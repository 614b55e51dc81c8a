#include "totals.h"

#include "numberformat.h"
#include "timetext.h"

namespace sondrel {

int trackNumberOf(const QString &idText)
{
    bool ok = false;
    const int k = idText.trimmed().toInt(&ok);
    if (ok)
        return k;
    const double value = parseGeneralNumber(idText);
    return value >= 1 && value <= 2147483647.0 ? int(value + 0.5) : 0;
}

std::uint64_t countedDuration(std::int32_t milliseconds)
{
    return milliseconds < 0 ? 0 : std::uint64_t(milliseconds);
}

QString filesCaption(std::uint64_t count)
{
    return QLatin1Char(' ') + QString::number(count) + QStringLiteral(" file(s) selected");
}

QString sizeCaption(std::uint64_t bytes)
{
    const double kb = double(bytes) / 1024;
    const double mb = double(bytes) / 1024 / 1024;
    const double gb = double(bytes) / 1024 / 1024 / 1024;
    return QLatin1Char(' ') + generalNumber(roundHalfEven(kb, 2)) + QStringLiteral(" Kb = ") +
           generalNumber(roundHalfEven(mb, 2)) + QStringLiteral(" Mb = ") +
           generalNumber(roundHalfEven(gb, 2)) + QStringLiteral(" Gb");
}

QString durationCaption(std::uint64_t milliseconds)
{
    // The total is never negative, so the formatter never refuses it.
    return QLatin1Char(' ') + hoursMinutesSeconds(double(milliseconds) / 1000).value_or(QString()) +
           QStringLiteral(" hh:mm:ss");
}

} // namespace sondrel
