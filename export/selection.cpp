#include "selection.h"

#include "nextsteps.h"
#include "numberformat.h"
#include "tracktable.h"

#include <algorithm>

namespace sondrel {

namespace {

const QString Marked = QStringLiteral("X");

} // namespace

int trackNumberOf(const QString &idText)
{
    bool ok = false;
    const int k = idText.trimmed().toInt(&ok);
    if (ok)
        return k;
    const double value = parseGeneralNumber(idText);
    return value >= 1 && value <= 2147483647.0 ? int(value + 0.5) : 0;
}

SelectionTotals SelectionTotals::fromTexts(const QString &count, const QString &bytes,
                                           const QString &milliseconds)
{
    return {parseGeneralNumber(count), parseGeneralNumber(bytes), parseGeneralNumber(milliseconds)};
}

QString SelectionTotals::countText() const
{
    return generalNumber(count);
}

QString SelectionTotals::bytesText() const
{
    return generalNumber(bytes);
}

QString SelectionTotals::millisecondsText() const
{
    return generalNumber(milliseconds);
}

double countedDuration(double milliseconds)
{
    return milliseconds < 0 ? 0 : milliseconds;
}

void toggleMarks(MarkableRows &rows, int row, int rowSel, int lastRow, const TrackTable &table,
                 SelectionTotals &totals)
{
    const int step = row > rowSel ? -1 : 1;
    for (int r = row;; r += step) {
        if (r >= 1 && r <= lastRow) {
            const bool marking = rows.mark(r).isEmpty();
            rows.setMark(r, marking ? Marked : QString());
            const double sign = marking ? 1 : -1;
            const int k = trackNumberOf(rows.id(r));
            double bytes = 0;
            double milliseconds = 0;
            if (table.contains(k)) {
                bytes = table.number(k, FieldSize);
                milliseconds = countedDuration(table.number(k, FieldDuration));
            }
            totals.count += sign;
            totals.bytes += sign * bytes;
            totals.milliseconds += sign * milliseconds;
        }
        if (r == rowSel)
            break;
    }
}

QString filesCaption(const QString &countText)
{
    return QLatin1Char(' ') + countText + QStringLiteral(" file(s) selected");
}

QString sizeCaption(double bytes)
{
    const double kb = bytes / 1024;
    const double mb = bytes / 1024 / 1024;
    const double gb = bytes / 1024 / 1024 / 1024;
    return QLatin1Char(' ') + generalNumber(roundHalfEven(kb, 2)) + QStringLiteral(" Kb = ") +
           generalNumber(roundHalfEven(mb, 2)) + QStringLiteral(" Mb = ") +
           generalNumber(roundHalfEven(gb, 2)) + QStringLiteral(" Gb");
}

QString durationCaption(double milliseconds)
{
    return QLatin1Char(' ') + SecToHms(milliseconds / 1000).value_or(QString()) +
           QStringLiteral(" hh:mm:ss");
}

} // namespace sondrel
