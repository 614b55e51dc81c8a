// The readable names that exported files get from their track's fields.
#include "expfilename.h"
#include "namefields.h"
#include "testmain.h"
#include "tracktable.h"

#include <QTest>

#include <algorithm>

using namespace sondrel;

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

NameFields onlyTitle()
{
    return {{"Genre", false, 8},
            {"Artist", false, 7},
            {"Title", true, 4},
            {"Album", false, 6},
            {"ID", false, 1}};
}

} // namespace

Q_DECLARE_METATYPE(sondrel::NameFields)

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
        QTest::newRow("the nine characters")
            << onlyTitle() << QStringList{"", "", "What? Now: Part 1/2", ""} << mp3
            << "What- Now- Part 1-2.mp3";
        QTest::newRow("all nine, one by one")
            << onlyTitle() << QStringList{"", "", "a\\b/c:d*e?f\"g<h>i|j", ""} << mp3
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
        QTest::newRow("empty location") << onlyTitle() << rock << ""
                                        << "Song";
        QTest::newRow("control characters")
            << onlyTitle()
            << QStringList{"", "", QString("Tab\there\nnew") + QChar(31) + QChar(1), ""} << mp3
            << "Tab-here-new--.mp3";
        QTest::newRow("extension goes through the same replacement")
            << onlyTitle() << rock << ":iPod_Control:Music:F01:AB.m?3"
            << "Song.m-3";
        QTest::newRow("case, spaces and dots kept")
            << onlyTitle() << QStringList{"", "", " .Mixed Case. ", ""} << mp3
            << " .Mixed Case. .mp3";
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
        QCOMPARE(ExpFileName(table, fields, 17, location), name);
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
            << QStringList{"Track", "Disc", "Title", "Year"} << QList<int>{0, 0, 0} << "__Song_.mp3";
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
        QCOMPARE(ExpFileName(table, fields, 17, ":iPod_Control:Music:F01:ABCD.mp3"), name);
    }

    void nameInTwoParts()
    {
        const TrackTable table = trackSeventeen("Rock", "Band", "Mr. Song", "Disc");
        const ExportName withExtension = exportName(table, onlyTitle(), 17, ":F00:AB.CD.mp3");
        QCOMPARE(withExtension.stem, QString("Mr. Song"));
        QCOMPARE(withExtension.extension, QString(".mp3"));
        QCOMPARE(numberedName(withExtension, 2), QString("Mr. Song (2).mp3"));

        const ExportName bare = exportName(table, onlyTitle(), 17, ":F00:ABCD");
        QCOMPARE(bare.extension, QString());
        QCOMPARE(numberedName(bare, 3), QString("Mr. Song (3)"));
    }

    void theListIsReadAsGiven()
    {
        // Each call uses the list it is given: a change of the list applies to the next name.
        const TrackTable table = trackSeventeen("Rock", "Band", "Song", "Disc");
        NameFields fields = defaultNameFields();
        QCOMPARE(ExpFileName(table, fields, 17, ":a.mp3"), QString("Rock_Band_Song_Disc_17.mp3"));
        fields[0].chosen = false;
        fields[4].chosen = false;
        QCOMPARE(ExpFileName(table, fields, 17, ":a.mp3"), QString("Band_Song_Disc.mp3"));
    }
};

SONDREL_TEST_MAIN_CORE(TestExpFileName)
#include "test_expfilename.moc"
