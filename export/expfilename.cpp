#include "expfilename.h"

#include "tracktable.h"

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

} // namespace

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
    const qsizetype dot = location.lastIndexOf(QLatin1Char('.'));
    const QString extension = dot < 0 ? QString() : location.mid(dot);
    return {mended(joined.mid(1)), mended(extension)};
}

QString ExpFileName(const TrackTable &table, const NameFields &fields, int k,
                    const QString &location)
{
    return exportName(table, fields, k, location).whole();
}

QString numberedName(const ExportName &name, int n)
{
    return name.stem + QStringLiteral(" (%1)").arg(n) + name.extension;
}

} // namespace sondrel
