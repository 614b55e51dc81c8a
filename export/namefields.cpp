#include "namefields.h"

#include "tracktable.h"

namespace sondrel {

NameFields defaultNameFields()
{
    return {
        {QStringLiteral("Genre"), true, FieldGenre},
        {QStringLiteral("Artist"), true, FieldArtist},
        {QStringLiteral("Title"), true, FieldTitle},
        {QStringLiteral("Album"), true, FieldAlbum},
        {QStringLiteral("ID"), true, FieldId},
        {QStringLiteral("Track"), false, FieldTrackNumber},
        {QStringLiteral("Disc"), false, FieldDiscNumber},
        {QStringLiteral("Year"), false, FieldYear},
        {QStringLiteral("AlbumArtist"), false, FieldAlbumArtist},
        {QStringLiteral("Composer"), false, FieldComposer},
    };
}

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
