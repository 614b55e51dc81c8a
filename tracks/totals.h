#pragma once

#include <QString>

#include <cstdint>

namespace sondrel {

// The exact totals of the marked tracks: how many, their bytes, and their milliseconds
// (a negative duration counts as 0).
struct SelectionTotals
{
    std::uint64_t count = 0;
    std::uint64_t bytes = 0;
    std::uint64_t milliseconds = 0;

    friend bool operator==(const SelectionTotals &, const SelectionTotals &) = default;
};

// The track number in a grid row's ID cell; text that is no whole number gives 0.
int trackNumberOf(const QString &idText);

// A track's duration as it counts in the duration total: a negative one counts as 0.
std::uint64_t countedDuration(std::int32_t milliseconds);

// The captions of the three shown total labels.
// " <count> file(s) selected".
QString filesCaption(std::uint64_t count);
// " K Kb = M Mb = G Gb", each quotient rounded to two decimals (ties to even) and written
// in general number form.
QString sizeCaption(std::uint64_t bytes);
// " hh:mm:ss hh:mm:ss" of the milliseconds, fractions of a second dropped.
QString durationCaption(std::uint64_t milliseconds);

} // namespace sondrel
