#pragma once

#include "filesystem.h"
#include "namefields.h"

#include <QString>

namespace sondrel {

class TrackTable;

// One name in a folder, made valid on Linux and on Windows alike (exported folders
// travel between them): `text` followed by `ending`, which is kept whole (an extension,
// " (2).mp3"). The characters \ / : * ? " < > | and every control character (below
// code 32) become "-"; trailing dots and blanks go, and leading blanks (players drop them
// from playlist lines); then a leading "." becomes "_" (no hidden
// files); where the part before the first dot, trailing blanks ignored, is a Windows
// device name (CON, PRN, AUX, NUL, COM1-COM9, LPT1-LPT9, any letter case) "_" is
// appended to that part; the text is cut at a character boundary so that the whole
// fits `limit`. Never empty, "." or "..": an empty text becomes "_".
QString safeComponent(const QString &text, const NameLimit &limit, const QString &ending = {});

// The length of `text` in the unit of a limit.
int nameLength(const QString &text, NameUnit unit);

// An export file name before it is made valid: the fields joined by "_", the extension
// with its dot (empty when the location's last name has no "."), and the name to use
// when the fields give nothing.
struct ExportName
{
    QString stem;
    QString extension;
    QString fallback; // "Track <ID>"

    // The file name for the n-th file of a run that gets this name (from 2 on, " (n)"
    // goes before the extension), made valid by safeComponent within `limit`. A stem that
    // is empty or only "_", blanks and dots gives way to the fallback.
    QString finished(const NameLimit &limit, int n = 1) const;
};

// The export name of track k whose location on the player is `location`: the texts of
// the chosen fields, in list order, joined by "_", and the part of the location's last
// name (after its last ":") from its last "." on.
ExportName exportName(const TrackTable &table, const NameFields &fields, int k,
                      const QString &location);

// True for a name that Windows takes for a device wherever it stands: CON, PRN, AUX,
// NUL, COM1 to COM9 and LPT1 to LPT9, in any letter case, with or without an extension
// or blanks around the part before the first dot.
bool windowsDeviceName(const QString &name);

} // namespace sondrel
