#include "expfilename.h"

#include "tracktable.h"

#include <algorithm>

namespace sondrel {

namespace {

// The characters a file name may not hold: the nine of the naming rule and every
// control character.
bool refused(QChar c)
{
    switch (c.unicode()) {
    case '\\':
    case '/':
    case ':':
    case '*':
    case '?':
    case '"':
    case '<':
    case '>':
    case '|':
        return true;
    default:
        return c.unicode() < 32;
    }
}

QString mended(QString text)
{
    for (QChar &c : text) {
        if (refused(c))
            c = QLatin1Char('-');
    }
    return text;
}

bool trailingPadding(QChar c)
{
    return c == QLatin1Char('.') || c == QLatin1Char(' ');
}

void trimTrailing(QString &text)
{
    qsizetype end = text.size();
    while (end > 0 && trailingPadding(text[end - 1]))
        --end;
    text.truncate(end);
}

int unitsOf(char32_t c, NameUnit unit)
{
    if (unit == NameUnit::Utf16Units)
        return c > 0xFFFF ? 2 : 1;
    return c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
}

// The longest start of `text` that takes at most `room` units, cut between characters.
QString cutTo(const QString &text, int room, NameUnit unit)
{
    int used = 0;
    qsizetype i = 0;
    while (i < text.size()) {
        const bool pair =
            text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate();
        const char32_t c = pair ? QChar::surrogateToUcs4(text[i], text[i + 1]) : text[i].unicode();
        const int units = unitsOf(c, unit);
        if (used + units > room)
            break;
        used += units;
        i += pair ? 2 : 1;
    }
    return text.left(i);
}

// Only "_", blanks and dots (or nothing): no name of its own.
bool onlyPadding(const QString &stem)
{
    return std::all_of(stem.begin(), stem.end(), [](QChar c) {
        return c == QLatin1Char('_') || c == QLatin1Char(' ') || c == QLatin1Char('.');
    });
}

} // namespace

int nameLength(const QString &text, NameUnit unit)
{
    int units = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const bool pair =
            text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate();
        units +=
            unitsOf(pair ? QChar::surrogateToUcs4(text[i], text[i + 1]) : text[i].unicode(), unit);
        i += pair ? 1 : 0;
    }
    return units;
}

QString safeComponent(const QString &text, const NameLimit &limit, const QString &ending)
{
    QString name = mended(text);
    QString end = mended(ending);
    // Windows drops trailing dots and blanks of a name; nothing may end in them.
    trimTrailing(end);
    if (end.isEmpty())
        trimTrailing(name);
    // Players drop a leading blank of a playlist line, which would then name no file.
    qsizetype start = 0;
    while (start < name.size() && name[start] == QLatin1Char(' '))
        ++start;
    name.remove(0, start);
    if (name.isEmpty())
        name = QStringLiteral("_");
    if (name.front() == QLatin1Char('.'))
        name.front() = QLatin1Char('_');

    // A device name gets "_" after it. The check reads up to the first dot, which may lie
    // in the ending.
    const auto guardDevice = [&end](QString &candidate) {
        const qsizetype dot = candidate.indexOf(QLatin1Char('.'));
        const QString part =
            dot >= 0 ? candidate.left(dot) : candidate + end.left(end.indexOf(QLatin1Char('.')));
        if (!windowsDeviceName(part))
            return false;
        if (dot >= 0)
            candidate.insert(dot, QLatin1Char('_'));
        else
            candidate += QLatin1Char('_');
        return true;
    };
    guardDevice(name);

    const int room = limit.length - nameLength(end, limit.unit);
    if (room < 1) // an ending that leaves no room: it gives way as well
        end = cutTo(end, limit.length / 2, limit.unit);
    if (nameLength(name, limit.unit) + nameLength(end, limit.unit) > limit.length) {
        const QString whole = name;
        name = cutTo(whole, limit.length - nameLength(end, limit.unit), limit.unit);
        if (end.isEmpty())
            trimTrailing(name);
        // The cut may have taken the "_" after a device name ("AUX" and many blanks): one
        // unit less, and the "_" again.
        if (QString guarded = name; guardDevice(guarded)) {
            name = cutTo(whole, limit.length - nameLength(end, limit.unit) - 1, limit.unit);
            guardDevice(name);
        }
        if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String(".."))
            name = QStringLiteral("_");
    }
    return name + end;
}

QString ExportName::finished(const NameLimit &limit, int n) const
{
    const QString number = n >= 2 ? QStringLiteral(" (%1)").arg(n) : QString();
    return safeComponent(onlyPadding(stem) ? fallback : stem, limit, number + extension);
}

ExportName exportName(const TrackTable &table, const NameFields &fields, int k,
                      const QString &location)
{
    QString joined;
    for (const NameField &field : fields) {
        if (!field.chosen)
            continue;
        joined += QLatin1Char('_');
        if (table.contains(k))
            joined += nameFieldText(table, k, field.field);
    }
    // The extension belongs to the file's own name: a dot in a folder's name is none.
    const QString file = location.mid(location.lastIndexOf(QLatin1Char(':')) + 1);
    const qsizetype dot = file.lastIndexOf(QLatin1Char('.'));
    QString id = table.contains(k) ? table.text(k, FieldId) : QString();
    if (id.isEmpty())
        id = QString::number(k);
    return {joined.mid(1), dot < 0 ? QString() : file.mid(dot), QStringLiteral("Track ") + id};
}

bool windowsDeviceName(const QString &name)
{
    const QString base = name.left(name.indexOf(QLatin1Char('.'))).trimmed().toUpper();
    if (base == QLatin1String("CON") || base == QLatin1String("PRN") ||
        base == QLatin1String("AUX") || base == QLatin1String("NUL"))
        return true;
    return base.size() == 4 &&
           (base.startsWith(QLatin1String("COM")) || base.startsWith(QLatin1String("LPT"))) &&
           base[3] >= QLatin1Char('1') && base[3] <= QLatin1Char('9');
}

} // namespace sondrel
