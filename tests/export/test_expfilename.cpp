// The readable names that exported files get from their track's fields, valid on Linux
// and on Windows.
#include "expfilename.h"
#include "namefields.h"
#include "testmain.h"
#include "tracktable.h"
#include "tracktables.h"

#include <QTest>

#include <algorithm>

using namespace sondrel;
using sondrel::test::onlyTitleFields;

namespace {

// Track 17: genre, artist, title, album as given.
TrackTable trackSeventeen(const QString &genre, const QString &artist, const QString &title,
                          const QString &album)
{
    TrackTable table;
    table.reset(17);
    Track &t = table.track(17);
    t.id = 17;
    table.setText(17, FieldGenre, genre);
    table.setText(17, FieldArtist, artist);
    table.setText(17, FieldTitle, title);
    table.setText(17, FieldAlbum, album);
    return table;
}

NameFields titleThenArtist()
{
    return {{"Title", true, 4},
            {"Artist", true, 7},
            {"Genre", false, 8},
            {"Album", false, 6},
            {"ID", false, 1}};
}

} // namespace

Q_DECLARE_METATYPE(sondrel::NameFields)

namespace {

// The file name of track k as one text, with no limit of the drive's.
QString fileName(const TrackTable &table, const NameFields &fields, int k, const QString &location)
{
    return exportName(table, fields, k, location).finished({});
}

} // namespace

class TestExpFileName : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void names_data()
    {
        QTest::addColumn<NameFields>("fields");
        QTest::addColumn<QStringList>("track"); // genre, artist, title, album
        QTest::addColumn<QString>("location");
        QTest::addColumn<QString>("name");

        const QStringList rock{"Rock", "Band", "Song", "Disc"};
        const QString mp3 = ":iPod_Control:Music:F01:ABCD.mp3";

        QTest::newRow("default list")
            << defaultNameFields() << rock << mp3 << "Rock_Band_Song_Disc_17.mp3";
        QTest::newRow("reordered, two chosen")
            << titleThenArtist() << rock << mp3 << "Song_Band.mp3";
        QTest::newRow("ID first") << NameFields{{"ID", true, 1},
                                                {"Title", true, 4},
                                                {"Genre", false, 8},
                                                {"Artist", false, 7},
                                                {"Album", true, 6}}
                                  << rock << mp3 << "17_Song_Disc.mp3";
        QTest::newRow("all nine, one by one")
            << onlyTitleFields() << QStringList{"", "", "a\\b/c:d*e?f\"g<h>i|j", ""} << mp3
            << "a-b-c-d-e-f-g-h-i-j.mp3";
        QTest::newRow("empty first field")
            << defaultNameFields() << QStringList{"", "Band", "Song", "Disc"} << mp3
            << "_Band_Song_Disc_17.mp3";
        QTest::newRow("empty middle field")
            << defaultNameFields() << QStringList{"Rock", "Band", "Song", ""} << mp3
            << "Rock_Band_Song__17.mp3";
        QTest::newRow("extension case kept")
            << defaultNameFields() << rock << ":iPod_Control:Music:F01:ABCD.MP3"
            << "Rock_Band_Song_Disc_17.MP3";
        QTest::newRow("no extension")
            << defaultNameFields() << rock << ":iPod_Control:Music:F01:ABCD"
            << "Rock_Band_Song_Disc_17";
        QTest::newRow("empty location") << onlyTitleFields() << rock << ""
                                        << "Song";
        QTest::newRow("control characters")
            << onlyTitleFields()
            << QStringList{"", "", QString("Tab\there\nnew") + QChar(31) + QChar(1), ""} << mp3
            << "Tab-here-new--.mp3";
        QTest::newRow("extension goes through the same replacement")
            << onlyTitleFields() << rock << ":iPod_Control:Music:F01:AB.m?3"
            << "Song.m-3";
        QTest::newRow("case, inner spaces and dots kept; a leading blank goes, then the dot")
            << onlyTitleFields() << QStringList{"", "", " .Mixed Case. ", ""} << mp3
            << "_Mixed Case. .mp3";
        QTest::newRow("empty title")
            << onlyTitleFields() << QStringList{"", "", "", ""} << mp3 << "Track 17.mp3";
        QTest::newRow("only the separator")
            << titleThenArtist() << QStringList{"", "", "", ""} << mp3 << "Track 17.mp3";
        QTest::newRow("dot dot") << onlyTitleFields() << QStringList{"", "", "..", ""} << mp3
                                 << "Track 17.mp3";
        QTest::newRow("blank dot")
            << onlyTitleFields() << QStringList{"", "", " .", ""} << mp3 << "Track 17.mp3";
        QTest::newRow("no hidden file")
            << onlyTitleFields() << QStringList{"", "", ".intro", ""} << mp3 << "_intro.mp3";
        QTest::newRow("trailing dots and blanks without extension")
            << onlyTitleFields() << QStringList{"", "", "Song. .", ""} << ":F00:ABCD"
            << "Song";
        QTest::newRow("extension ending in a dot") << onlyTitleFields() << rock << ":F00:ABCD."
                                                   << "Song";
        QTest::newRow("device") << onlyTitleFields() << QStringList{"", "", "con", ""} << mp3
                                << "con_.mp3";
        QTest::newRow("device without extension")
            << onlyTitleFields() << QStringList{"", "", "Nul", ""} << ":F00:ABCD"
            << "Nul_";
        QTest::newRow("device before the first dot")
            << onlyTitleFields() << QStringList{"", "", "NUL.tar", ""} << ":F00:A.gz"
            << "NUL_.tar.gz";
        QTest::newRow("device with trailing blanks")
            << onlyTitleFields() << QStringList{"", "", "lpt9 ", ""} << mp3 << "lpt9 _.mp3";
        QTest::newRow("port numbers only 1 to 9")
            << onlyTitleFields() << QStringList{"", "", "COM0", ""} << mp3 << "COM0.mp3";
        QTest::newRow("no device when longer")
            << onlyTitleFields() << QStringList{"", "", "Console", ""} << mp3 << "Console.mp3";
        QTest::newRow("dot in a folder is no extension")
            << onlyTitleFields() << rock << ":iPod_Control:Mu.sic:F01:ABCD"
            << "Song";
        QTest::newRow("extension of the file only")
            << onlyTitleFields() << rock << ":iPod_Control:Mu.sic:F01:AB.CD.m4a"
            << "Song.m4a";
        QTest::newRow("characters beyond ASCII kept")
            << titleThenArtist() << QStringList{"", "Björk", "Jóga", ""} << mp3 << "Jóga_Björk.mp3";
    }

    void names()
    {
        QFETCH(NameFields, fields);
        QFETCH(QStringList, track);
        QFETCH(QString, location);
        QFETCH(QString, name);
        const TrackTable table = trackSeventeen(track[0], track[1], track[2], track[3]);
        QCOMPARE(fileName(table, fields, 17, location), name);
    }

    // The fields of longer track records: the track number with at least two digits,
    // the other numbers plain, a field not set as the empty piece.
    void laterFields_data()
    {
        QTest::addColumn<QStringList>("labels"); // the chosen entries, in order
        QTest::addColumn<QList<int>>("numbers"); // track, disc, year
        QTest::addColumn<QString>("name");

        const QList<int> set{7, 2, 1999};
        QTest::newRow("track with two digits")
            << QStringList{"Track", "Title"} << set << "07_Song.mp3";
        QTest::newRow("track of three digits")
            << QStringList{"Track", "Title"} << QList<int>{123, 0, 0} << "123_Song.mp3";
        QTest::newRow("disc and year plain")
            << QStringList{"Disc", "Track", "Year", "Title"} << set << "2_07_1999_Song.mp3";
        QTest::newRow("numbers not set give empty pieces")
            << QStringList{"Track", "Disc", "Title", "Year"} << QList<int>{0, 0, 0}
            << "__Song_.mp3";
        QTest::newRow("album artist and composer, made safe")
            << QStringList{"AlbumArtist", "Title", "Composer"} << set
            << "AC-DC_Song_Bach- J.S..mp3";
    }

    void laterFields()
    {
        QFETCH(QStringList, labels);
        QFETCH(QList<int>, numbers);
        QFETCH(QString, name);
        TrackTable table = trackSeventeen("Rock", "Band", "Song", "Disc");
        Track &t = table.track(17);
        t.trackNumber = std::uint32_t(numbers[0]);
        t.discNumber = std::uint32_t(numbers[1]);
        t.year = std::uint32_t(numbers[2]);
        table.setText(17, FieldAlbumArtist, "AC/DC");
        table.setText(17, FieldComposer, "Bach: J.S.");

        // The start-up list with the entries of `labels` chosen and moved to the front.
        NameFields fields;
        NameFields rest = defaultNameFields();
        for (const QString &label : labels) {
            const auto at = std::find_if(rest.begin(), rest.end(),
                                         [&](const NameField &f) { return f.label == label; });
            QVERIFY2(at != rest.end(), qPrintable(label));
            fields.push_back({at->label, true, at->field});
            rest.erase(at);
        }
        for (NameField &f : rest)
            fields.push_back({f.label, false, f.field});
        QCOMPARE(fileName(table, fields, 17, ":iPod_Control:Music:F01:ABCD.mp3"), name);
    }

    void nameInTwoParts()
    {
        const TrackTable table = trackSeventeen("Rock", "Band", "Mr. Song", "Disc");
        const ExportName withExtension = exportName(table, onlyTitleFields(), 17, ":F00:AB.CD.mp3");
        QCOMPARE(withExtension.stem, QString("Mr. Song"));
        QCOMPARE(withExtension.extension, QString(".mp3"));
        QCOMPARE(withExtension.finished({}, 2), QString("Mr. Song (2).mp3"));

        const ExportName bare = exportName(table, onlyTitleFields(), 17, ":F00:ABCD");
        QCOMPARE(bare.extension, QString());
        QCOMPARE(bare.finished({}, 3), QString("Mr. Song (3)"));

        const ExportName nothing =
            exportName(trackSeventeen("", "", "", ""), onlyTitleFields(), 17, ":A.mp3");
        QCOMPARE(nothing.finished({}, 2), QString("Track 17 (2).mp3"));
    }

    // At most 255 bytes of UTF-8 on Linux and 255 UTF-16 units on Windows, cut in the
    // stem between characters, the extension and the number kept.
    void lengthLimits_data()
    {
        QTest::addColumn<QString>("title");
        QTest::addColumn<int>("unit");
        QTest::addColumn<int>("number");
        QTest::addColumn<QString>("name");
        const int bytes = int(NameUnit::Utf8Bytes);
        const int units = int(NameUnit::Utf16Units);
        const QString e = QString::fromUtf8("\u00e9");        // 2 bytes, 1 unit
        const QString clef = QString::fromUtf8("\U0001D11E"); // 4 bytes, 2 units
        QTest::newRow("300 ASCII, bytes")
            << QString(300, 'x') << bytes << 1 << QString(251, 'x') + ".mp3";
        QTest::newRow("300 ASCII, units")
            << QString(300, 'x') << units << 1 << QString(251, 'x') + ".mp3";
        QTest::newRow("300 two-byte letters, bytes")
            << e.repeated(300) << bytes << 1 << e.repeated(125) + ".mp3";
        QTest::newRow("300 two-byte letters, units")
            << e.repeated(300) << units << 1 << e.repeated(251) + ".mp3";
        QTest::newRow("surrogate pairs are not split")
            << clef.repeated(200) << units << 1 << clef.repeated(125) + ".mp3";
        QTest::newRow("four-byte characters, bytes")
            << clef.repeated(200) << bytes << 1 << clef.repeated(62) + ".mp3";
        QTest::newRow("the number is kept")
            << QString(300, 'x') << bytes << 12 << QString(246, 'x') + " (12).mp3";
        QTest::newRow("a cut that ends in blanks keeps the extension")
            << QString(250, 'x') + QString(50, ' ') << bytes << 1 << QString(250, 'x') + " .mp3";
        QTest::newRow("a device name before many blanks keeps its \"_\"")
            << "AUX" + QString(300, ' ') << units << 1 << "AUX" + QString(247, ' ') + "_.mp3";
        QTest::newRow("exactly 255 stays")
            << QString(251, 'x') << bytes << 1 << QString(251, 'x') + ".mp3";
    }

    void lengthLimits()
    {
        QFETCH(QString, title);
        QFETCH(int, unit);
        QFETCH(int, number);
        QFETCH(QString, name);
        const TrackTable table = trackSeventeen("", "", title, "");
        const NameLimit limit{NameUnit(unit), 255};
        const QString made =
            exportName(table, onlyTitleFields(), 17, ":F00:ABCD.mp3").finished(limit, number);
        QCOMPARE(made, name);
        QVERIFY(nameLength(made, NameUnit(unit)) <= 255);
    }

    // The rule for one folder or file name, as folder names will use it too.
    void safeComponents_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("safe");
        QTest::newRow("empty") << ""
                               << "_";
        QTest::newRow("dot") << "."
                             << "_";
        QTest::newRow("dot dot") << ".."
                                 << "_";
        QTest::newRow("blanks") << "   "
                                << "_";
        QTest::newRow("trailing dot") << "Greatest Hits Vol. 2."
                                      << "Greatest Hits Vol. 2";
        QTest::newRow("leading dot") << ".38 Special"
                                     << "_38 Special";
        QTest::newRow("leading blanks: players drop them") << "  The Band"
                                                           << "The Band";
        QTest::newRow("leading blanks before a dot") << " .38 Special"
                                                     << "_38 Special";
        QTest::newRow("device") << "AUX"
                                << "AUX_";
        QTest::newRow("the nine and control") << QString("AC/DC: *?") + QChar(7) << "AC-DC- ---";
        QTest::newRow("long") << QString(400, 'a') << QString(255, 'a');
    }

    void safeComponents()
    {
        QFETCH(QString, text);
        QFETCH(QString, safe);
        QCOMPARE(safeComponent(text, {}), safe);
    }

    void theListIsReadAsGiven()
    {
        // Each call uses the list it is given: a change of the list applies to the next name.
        const TrackTable table = trackSeventeen("Rock", "Band", "Song", "Disc");
        NameFields fields = defaultNameFields();
        QCOMPARE(fileName(table, fields, 17, ":a.mp3"), QString("Rock_Band_Song_Disc_17.mp3"));
        fields[0].chosen = false;
        fields[4].chosen = false;
        QCOMPARE(fileName(table, fields, 17, ":a.mp3"), QString("Band_Song_Disc.mp3"));
    }
};

SONDREL_TEST_MAIN_CORE(TestExpFileName)
#include "test_expfilename.moc"
