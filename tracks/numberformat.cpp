#include "numberformat.h"

#include <QLocale>

#include <cmath>

namespace sondrel {

double roundHalfEven(double value, int decimals)
{
    const double scale = std::pow(10.0, decimals);
    return std::nearbyint(value * scale) / scale; // the default rounding mode ties to even
}

QString standardNumber(double value)
{
    QLocale locale;
    locale.setNumberOptions(locale.numberOptions() & ~QLocale::OmitGroupSeparator);
    return locale.toString(roundHalfEven(value, 2), 'f', 2);
}

QString generalNumber(double value)
{
    QLocale locale;
    locale.setNumberOptions(QLocale::OmitGroupSeparator);
    if (value == 0)
        value = 0; // no "-0"
    return locale.toString(value, 'g', 15);
}

double parseGeneralNumber(const QString &text)
{
    bool ok = false;
    const double value = QLocale().toDouble(text, &ok);
    return ok ? value : 0;
}

} // namespace sondrel
