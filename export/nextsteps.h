#pragma once

#include <QString>

namespace sondrel {

// Seconds (fractions allowed) as "hh:mm:ss": whole hours, minutes and seconds, each
// with at least two digits; fractions of a second are dropped, hours are not folded
// into days. A negative argument is refused with a message and gives the empty text.
QString SecToHms(double sec);

} // namespace sondrel
