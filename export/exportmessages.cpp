#include "exportmessages.h"

#include "exportreport.h"
#include "numberformat.h"

namespace sondrel {

QString freeSpaceMessage(const QString &drive, std::uint64_t bytes)
{
    const double available = double(bytes);
    const QChar cr(13);
    return QStringLiteral("You have less space available in ") + drive +
           QStringLiteral(" than the total size of the files you want to export.") + cr +
           QStringLiteral("Please select less files.") + cr +
           QStringLiteral("Your total available size in ") + drive +
           QStringLiteral(" right now is (") + standardNumber(available / 1024) +
           QStringLiteral(" Kb = ") + standardNumber(available / 1024 / 1024) +
           QStringLiteral(" Mb = ") + standardNumber(available / 1024 / 1024 / 1024) +
           QStringLiteral(" Gb).");
}

QString exportStatusText(int n, int count, const QString &title)
{
    return QStringLiteral(" Exporting file %1 of %2 (").arg(n).arg(count) + title +
           QLatin1Char(')');
}

QString recordHeldMessage(const QString &directory)
{
    return QStringLiteral("Another export into ") + directory +
           QStringLiteral(" is running. Please wait until it has finished.");
}

QString recordForeignMessage(const QString &path)
{
    return QStringLiteral("The file ") + path +
           QStringLiteral(" is in the way of Sondrel's record of this directory and was left "
                          "as it is. Please move it elsewhere or choose another directory.");
}

QString rescuedNote(std::uint64_t lost)
{
    return QStringLiteral("%1 KB could not be read and were left silent").arg((lost + 1023) / 1024);
}

QString closingSummary(const ExportReport &report)
{
    if (report.end == ExportReport::End::PlayerGone) {
        return QStringLiteral("The iPod %1 cannot be read any more (%2). %3 of %4 files were "
                              "exported. Connect it again and export again to copy the rest.")
            .arg(QString::fromStdString(report.player), report.goneReason)
            .arg(report.copied + report.already)
            .arg(report.count);
    }
    const bool whole = report.end == ExportReport::End::Finished && report.skipped.empty();
    if (whole && report.already == 0) {
        return report.count == 1 ? QStringLiteral("File exported successfully")
                                 : QStringLiteral("Files exported successfully");
    }
    QString text;
    if (report.end == ExportReport::End::Cancelled)
        text = QStringLiteral("Export cancelled: ");
    else if (report.skipped.empty() && !whole)
        return QString(); // the failure report says it all
    text += QStringLiteral("%1 of %2 files exported").arg(report.copied).arg(report.count);
    if (report.already > 0)
        text += QStringLiteral("; %1 were already there").arg(report.already);
    return text + QLatin1Char('.');
}

QString errorsListLine(const ExportReport &report)
{
    if (report.errorsFile.empty())
        return QString();
    return QStringLiteral("The full list is in ") + QString::fromStdString(report.errorsFile) +
           QLatin1Char('.');
}

QString closingMessage(const ExportReport &report)
{
    QString text = closingSummary(report);
    if (text.isEmpty())
        return text;
    constexpr std::size_t Shown = 20;
    for (std::size_t i = 0; i < report.skipped.size() && i < Shown; ++i)
        text += QLatin1Char('\n') + report.skipped[i].title + QStringLiteral(": ") +
                report.skipped[i].reason;
    const QString list = errorsListLine(report);
    if (!list.isEmpty())
        text += QLatin1Char('\n') + list;
    return text;
}

} // namespace sondrel
