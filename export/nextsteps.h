#pragma once

#include <QString>

#include <optional>

namespace sondrel {

// Seconds (fractions allowed) as "hh:mm:ss": whole hours, minutes and seconds, each
// with at least two digits; fractions of a second are dropped, hours are not folded
// into days. A negative argument is refused: nothing is returned, and the caller shows
// negativeSecondsMessage().
std::optional<QString> SecToHms(double sec);

// The message of a refused (negative) argument of SecToHms.
QString negativeSecondsMessage();

} // namespace sondrel
