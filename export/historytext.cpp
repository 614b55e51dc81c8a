#include "historytext.h"

#include <QDate>
#include <QTime>

#include <algorithm>
#include <unordered_map>

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

// "yyyy-MM-dd" + `between` + "HH:mm[:ss]" + `end`, without the locale machinery of
// QDateTime::toString: a library file writes three dates for each of 40,000 tracks.
QString dateTimeText(const QDate &date, int secondOfDay, char16_t between, bool seconds,
                     char16_t end)
{
    char16_t buffer[24];
    char16_t *out = buffer;
    out = digits(out, std::clamp(date.year(), 0, 9999), 4);
    *out++ = u'-';
    out = digits(out, date.month(), 2);
    *out++ = u'-';
    out = digits(out, date.day(), 2);
    *out++ = between;
    out = digits(out, secondOfDay / 3600, 2);
    *out++ = u':';
    out = digits(out, secondOfDay / 60 % 60, 2);
    if (seconds) {
        *out++ = u':';
        out = digits(out, secondOfDay % 60, 2);
    }
    if (end)
        *out++ = end;
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
    return dateTimeText(date, second, u' ', false, 0);
}

QString macTimeIsoUtc(std::uint32_t macTime)
{
    if (macTime == 0)
        return QString();
    // The local time's distance from UTC, asked of the time-zone rules once per quarter
    // of an hour of local time (every zone changes its offset on such a boundary).
    thread_local std::unordered_map<std::uint32_t, qint64> offsets;
    const std::uint32_t quarter = macTime / 900;
    auto found = offsets.find(quarter);
    if (found == offsets.end()) {
        if (offsets.size() > 100'000)
            offsets.clear();
        const QDateTime local = macTimeLocal(macTime);
        const qint64 wall = qint64(macTime) - MacEpochOffset;
        found = offsets.emplace(quarter, wall - local.toSecsSinceEpoch()).first;
    }
    const qint64 utc = qint64(macTime) - found->second; // still counted from 1904
    QDate date = QDate(1904, 1, 1).addDays(utc / SecondsPerDay - (utc % SecondsPerDay < 0));
    const int second = int(((utc % SecondsPerDay) + SecondsPerDay) % SecondsPerDay);
    return dateTimeText(date, second, u'T', true, u'Z');
}

} // namespace sondrel
