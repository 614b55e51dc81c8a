#include "namefields.h"

#include "tracktable.h"

namespace sondrel {

QString nameFieldText(const TrackTable &table, int k, int field)
{
    const QString text = table.text(k, field);
    if (field == FieldTrackNumber && !text.isEmpty())
        return text.rightJustified(2, QLatin1Char('0'));
    return text;
}

bool titleChosen(const NameFields &fields)
{
    for (const NameField &field : fields) {
        if (field.label == QLatin1String("Title") && field.chosen)
            return true;
    }
    return false;
}

} // namespace sondrel
