#include "historytext.h"

#include <QDate>
#include <QTime>

#include <algorithm>
#include <array>
#include <climits>
#include <cstdint>
#include <vector>

namespace sondrel {

namespace {

constexpr std::int64_t SecondsPerDay = 86'400;

// The local wall-clock date and time a Mac time names.
void wallClock(std::uint32_t macTime, QDate &date, int &secondOfDay)
{
    date = QDate(1904, 1, 1).addDays(qint64(macTime / SecondsPerDay));
    secondOfDay = int(macTime % SecondsPerDay);
}

// Writes `value` as `width` digits, zeros in front.
char16_t *digits(char16_t *out, int value, int width)
{
    for (int i = width - 1; i >= 0; --i, value /= 10)
        out[i] = char16_t(u'0' + value % 10);
    return out + width;
}

// "yyyy-MM-dd HH:mm", without the locale machinery of QDateTime::toString: the grid
// makes one for each date cell it draws.
QString dateTimeText(const QDate &date, int secondOfDay)
{
    char16_t buffer[16];
    char16_t *out = digits(buffer, std::clamp(date.year(), 0, 9999), 4);
    *out++ = u'-';
    out = digits(out, date.month(), 2);
    *out++ = u'-';
    out = digits(out, date.day(), 2);
    *out++ = u' ';
    out = digits(out, secondOfDay / 3600, 2);
    *out++ = u':';
    out = digits(out, secondOfDay / 60 % 60, 2);
    return QString(reinterpret_cast<const QChar *>(buffer), out - buffer);
}

} // namespace

QString ratingStars(std::uint8_t rating)
{
    if (rating == 0)
        return QString();
    const int stars = std::clamp((int(rating) + 10) / 20, 1, 5);
    return QString(stars, QChar(0x2605));
}

QDateTime macTimeLocal(std::uint32_t macTime)
{
    if (macTime == 0)
        return QDateTime();
    QDate date;
    int second = 0;
    wallClock(macTime, date, second);
    return QDateTime(date, QTime::fromMSecsSinceStartOfDay(second * 1000), Qt::LocalTime);
}

QString macTimeText(std::uint32_t macTime)
{
    if (macTime == 0)
        return QString();
    QDate date;
    int second = 0;
    wallClock(macTime, date, second);
    return dateTimeText(date, second);
}

void writeMacTimeIsoUtc(std::uint32_t macTime, char *out)
{
    // The local time's distance from UTC, asked of the time-zone rules once per day: at
    // its first and its last second. A day on which the two differ (a change to or from
    // summer time) asks for each time of its own.
    const auto offsetAt = [](std::uint32_t time) {
        return std::int32_t(qint64(time) - MacEpochOffset - macTimeLocal(time).toSecsSinceEpoch());
    };
    constexpr std::int32_t Unknown = INT32_MIN;
    thread_local std::vector<std::array<std::int32_t, 2>> days; // by day from 1904-01-01
    const std::uint32_t day = macTime / SecondsPerDay;
    if (days.empty())
        days.assign(std::size_t(UINT32_MAX / SecondsPerDay) + 1, {Unknown, Unknown});
    std::array<std::int32_t, 2> &known = days[day];
    if (known[0] == Unknown) {
        const std::uint32_t first = day * SecondsPerDay;
        known = {offsetAt(first == 0 ? 1 : first), offsetAt(first + (SecondsPerDay - 1))};
    }
    const qint64 offset = known[0] == known[1] ? known[0] : offsetAt(macTime);
    const qint64 utc = qint64(macTime) - offset; // still counted from 1904
    const qint64 utcDay = utc / SecondsPerDay - (utc % SecondsPerDay < 0 ? 1 : 0);
    int year = 0, month = 0, dayOfMonth = 0;
    QDate(1904, 1, 1).addDays(utcDay).getDate(&year, &month, &dayOfMonth);
    const int second = int(utc - utcDay * SecondsPerDay);
    char16_t text[20];
    char16_t *end = digits(text, std::clamp(year, 0, 9999), 4);
    *end++ = u'-';
    end = digits(end, month, 2);
    *end++ = u'-';
    end = digits(end, dayOfMonth, 2);
    *end++ = u'T';
    end = digits(end, second / 3600, 2);
    *end++ = u':';
    end = digits(end, second / 60 % 60, 2);
    *end++ = u':';
    end = digits(end, second % 60, 2);
    *end++ = u'Z';
    for (int i = 0; i < 20; ++i)
        out[i] = char(text[i]);
}

QString macTimeIsoUtc(std::uint32_t macTime)
{
    if (macTime == 0)
        return QString();
    char text[20];
    writeMacTimeIsoUtc(macTime, text);
    return QString::fromLatin1(text, 20);
}

} // namespace sondrel
