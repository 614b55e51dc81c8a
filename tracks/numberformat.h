#pragma once

#include <QString>

namespace sondrel {

// Rounds to `decimals` places, a tie going to the even digit.
double roundHalfEven(double value, int decimals);

// The "Standard" form: digit grouping, at least one digit before and exactly two
// after the decimal separator, in the user's locale ("1,024.00").
QString standardNumber(double value);

// The general form: the shortest decimal text of the value with at most 15
// significant digits, no grouping, the locale's decimal separator ("4882.81", "0").
QString generalNumber(double value);

// Reads a number written in the general form (the locale's decimal separator);
// text that is not a number reads as 0.
double parseGeneralNumber(const QString &text);

} // namespace sondrel
