#pragma once

#include <QString>

#include <optional>

namespace sondrel {

// Seconds (fractions allowed) as "hh:mm:ss": whole hours, minutes and seconds, each
// with at least two digits; fractions of a second are dropped, hours are not folded
// into days. A negative argument is refused: nothing is returned.
std::optional<QString> hoursMinutesSeconds(double sec);

} // namespace sondrel
