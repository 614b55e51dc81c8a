#pragma once

#include <QDateTime>
#include <QString>

#include <cstdint>

namespace sondrel {

// The texts of a track's history (its rating and the dates the player keeps), made only
// when a cell is drawn or a file written: the track table keeps the numbers.
//
// The player's dates are Mac times: seconds from 1904-01-01 00:00 in the player's local
// time, which the desktop software sets from the computer's, so they are read as the
// computer's local time. 0 means "never".

// Seconds between 1904-01-01 and 1970-01-01.
inline constexpr std::int64_t MacEpochOffset = 2'082'844'800;

// A rating (stars x 20, 0 to 100) as stars: "★★★" for 60; empty for 0 (unrated). A rating
// between whole stars counts to the nearest one, and at least one.
QString ratingStars(std::uint8_t rating);

// A Mac time as the local date and time it stands for; a null QDateTime for 0.
QDateTime macTimeLocal(std::uint32_t macTime);

// A Mac time as the grid shows it, "yyyy-MM-dd HH:mm" (its own wall-clock fields, no
// time-zone look-up); empty for 0.
QString macTimeText(std::uint32_t macTime);

// A Mac time as an ISO 8601 UTC text, "2024-01-06T05:12:19Z"; empty for 0.
QString macTimeIsoUtc(std::uint32_t macTime);
// The same text, not 0, written as its 20 ASCII characters at `out` (for files written in
// bulk, without a QString for each date).
void writeMacTimeIsoUtc(std::uint32_t macTime, char *out);

} // namespace sondrel
