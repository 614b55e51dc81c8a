#include "timetext.h"

#include <cmath>

namespace sondrel {

std::optional<QString> hoursMinutesSeconds(double sec)
{
    if (sec < 0)
        return std::nullopt;
    const double h = std::floor(sec / 3600);
    const double m = std::floor((sec - 3600 * h) / 60);
    const double s = std::floor(sec - 3600 * h - 60 * m);
    const auto twoDigits = [](double v) {
        return QStringLiteral("%1").arg(qlonglong(v), 2, 10, QLatin1Char('0'));
    };
    return twoDigits(h) + QLatin1Char(':') + twoDigits(m) + QLatin1Char(':') + twoDigits(s);
}

} // namespace sondrel
