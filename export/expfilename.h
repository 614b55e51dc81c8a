#pragma once

#include "namefields.h"

#include <QString>

namespace sondrel {

class TrackTable;

// An export file name in its two parts: the fields joined by "_", and the extension
// with its dot (empty when the location has no ".").
struct ExportName
{
    QString stem;
    QString extension;

    QString whole() const { return stem + extension; }
};

// The export file name of track k whose location on the player is `location`: the
// texts of the chosen fields, in list order, joined by "_", followed by the part of the
// location from its last "." on. The characters \ / : * ? " < > | and every control
// character (codes below 32) become "-", in the extension as well. Letter case, spaces
// and dots are kept; a location without "." gives a name without extension.
ExportName exportName(const TrackTable &table, const NameFields &fields, int k,
                      const QString &location);

// The same name as one text.
QString ExpFileName(const TrackTable &table, const NameFields &fields, int k,
                    const QString &location);

// The name with " (n)" put before its extension, for the n-th file of a run that would
// otherwise get a name already written in that run.
QString numberedName(const ExportName &name, int n);

} // namespace sondrel
