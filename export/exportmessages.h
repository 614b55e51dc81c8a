#pragma once

#include <QString>

#include <cstdint>

namespace sondrel {

struct ExportReport;

// The message for too little free space on the export drive `drive`, which has
// `available` bytes free. Lines are separated by a single carriage return.
QString freeSpaceMessage(const QString &drive, std::uint64_t available);

// The progress text of the status line and the progress window.
QString exportStatusText(int n, int count, const QString &title);

// The message for a run refused because another one writes into `directory`.
QString recordHeldMessage(const QString &directory);
// The message for a run refused because the file at the record's path `path` is not one.
QString recordForeignMessage(const QString &path);

// The message that closes a run (after the run-time error report of a failure, if
// any): the success messages when every track was copied; "Export cancelled: n of N
// files exported." after a cancel; otherwise "n of N files exported." with the first
// tracks passed over and where the full list is. When some tracks were already there,
// "n of N files exported; m were already there." stands for the count. Empty when there
// is nothing to add to a failure report. A run that the player ended says so, with the
// files in the folder and the tracks passed over before.
QString closingMessage(const ExportReport &report);
// Its first line, which says how the run ended (empty where closingMessage is).
QString closingSummary(const ExportReport &report);
// Its last line, "The full list is in <errors list>.", when the run wrote one; else empty.
QString errorsListLine(const ExportReport &report);

// The note on a track copied with `lost` bytes left as zeros.
QString rescuedNote(std::uint64_t lost);

} // namespace sondrel
