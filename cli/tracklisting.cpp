#include "tracklisting.h"

#include "expfilename.h"
#include "exportlayout.h"
#include "trackcolumns.h"
#include "tracktable.h"

#include <QStringList>

#include <cstdio>

namespace sondrel {

namespace {

const QString ExportNameCaption = QStringLiteral("Export Name");

void appendTsvField(QByteArray &out, const QString &text)
{
    QByteArray bytes = text.toUtf8();
    for (char &c : bytes) {
        if (c == '\t' || c == '\n' || c == '\r')
            c = ' ';
    }
    out += bytes;
}

void appendJsonString(QByteArray &out, const QString &text)
{
    out += '"';
    const QByteArray bytes = text.toUtf8();
    for (const char c : bytes) {
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (static_cast<unsigned char>(c) < 0x20) {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u%04x", unsigned(c));
                out += escaped;
            } else {
                out += c;
            }
        }
    }
    out += '"';
}

} // namespace

QString listedExportName(const TrackTable &table, int k, const NameFields &fields,
                         const ExportOptions &options, const NameLimit &limit)
{
    const QString name =
        exportName(table, fields, k, table.text(k, FieldLocation)).finished(limit);
    if (!options.artistAlbumFolders)
        return name;
    return (artistAlbumFolders(table, k, limit) << name).join(QLatin1Char('/'));
}

QByteArray trackListingTsv(const TrackTable &table, std::span<const int> tracks,
                           const NameFields &fields, const ExportOptions &options,
                           const NameLimit &limit)
{
    QByteArray out;
    out.reserve(qsizetype(tracks.size()) * 200);
    for (int col = FirstTrackColumn; col < TrackColumnEnd; ++col) {
        out += trackColumnCaption(col).toUtf8();
        out += '\t';
    }
    out += ExportNameCaption.toUtf8();
    out += '\n';
    for (const int k : tracks) {
        for (int col = FirstTrackColumn; col < TrackColumnEnd; ++col) {
            appendTsvField(out, trackColumnText(table, k, col));
            out += '\t';
        }
        appendTsvField(out, listedExportName(table, k, fields, options, limit));
        out += '\n';
    }
    return out;
}

QByteArray trackListingJson(const TrackTable &table, std::span<const int> tracks,
                            const NameFields &fields, const ExportOptions &options,
                            const NameLimit &limit)
{
    std::vector<QByteArray> keys;
    for (int col = FirstTrackColumn; col < TrackColumnEnd; ++col) {
        QByteArray key;
        appendJsonString(key, trackColumnCaption(col));
        keys.push_back(key + ": ");
    }
    QByteArray nameKey;
    appendJsonString(nameKey, ExportNameCaption);
    nameKey += ": ";

    QByteArray out;
    out.reserve(qsizetype(tracks.size()) * 300);
    out += '[';
    bool first = true;
    for (const int k : tracks) {
        out += first ? "\n  {" : ",\n  {";
        first = false;
        for (int col = FirstTrackColumn; col < TrackColumnEnd; ++col) {
            out += keys[std::size_t(col - FirstTrackColumn)];
            appendJsonString(out, trackColumnText(table, k, col));
            out += ", ";
        }
        out += nameKey;
        appendJsonString(out, listedExportName(table, k, fields, options, limit));
        out += '}';
    }
    out += first ? "]\n" : "\n]\n";
    return out;
}

} // namespace sondrel
