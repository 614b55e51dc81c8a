// Finding tracks by words: which fields count, letter case and accents, several words.
#include "testmain.h"
#include "tracksearch.h"
#include "tracktable.h"

#include <QTest>

#include <vector>

using namespace sondrel;

namespace {

// One track with the given texts: title, artist, album, album artist, composer, genre,
// comment, then file type (a field that is not searched).
TrackTable oneTrack(const QStringList &texts)
{
    static const int fields[] = {FieldTitle,    FieldArtist, FieldAlbum,   FieldAlbumArtist,
                                 FieldComposer, FieldGenre,  FieldComment, FieldFileType};
    TrackTable table;
    table.reset(1);
    table.track(1).id = 1;
    for (qsizetype i = 0; i < texts.size(); ++i)
        table.setText(1, fields[i], texts[i]);
    return table;
}

} // namespace

class TestTrackSearch : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void matching_data()
    {
        QTest::addColumn<QStringList>("track");
        QTest::addColumn<QString>("query");
        QTest::addColumn<bool>("found");

        const QStringList halo{"Halo", "Beyoncé", "I Am... Sasha Fierce"};
        QTest::newRow("accent left out") << halo << "beyonce" << true;
        QTest::newRow("accent typed, letter case other") << halo << "BEYONCÉ" << true;
        QTest::newRow("accent typed as a combining mark")
            << halo << QString("beyonce") + QChar(0x0301) << true;
        QTest::newRow("text stored decomposed")
            << QStringList{"", QString("Sigur Ro") + QChar(0x0301) + "s"} << "sigur rós" << true;
        QTest::newRow("two words in one field, upper case")
            << QStringList{"Hoppípolla", "Sigur Rós"} << "SIGUR ROS" << true;
        QTest::newRow("words in any order") << QStringList{"", "Sigur Rós"} << "rós sigur" << true;
        QTest::newRow("two words over two fields") << halo << "halo beyonce" << true;
        QTest::newRow("parts of words") << halo << "sash  yon" << true;
        QTest::newRow("one word of two missing") << halo << "halo adele" << false;
        QTest::newRow("a word does not run over two fields")
            << QStringList{"Rock", "Star"} << "rockstar" << false;
        QTest::newRow("a word in each of the seven fields")
            << QStringList{"Requiem",      "Wiener",    "Mozart Box", "Various",
                           "W. A. Mozart", "Classical", "CD 3"}
            << "requiem wien box vari w. classic cd" << true;
        QTest::newRow("the file type is not searched")
            << QStringList{"Song", "", "", "", "", "", "", "MPEG audio file"} << "mpeg" << false;
        QTest::newRow("Greek capitals find the final sigma")
            << QStringList{"Στην Αθήνας"} << "ΑΘΗΝΑΣ" << true;
        QTest::newRow("dotted capital I") << QStringList{"İstanbul"} << "istanbul" << true;
        QTest::newRow("beyond the 16-bit range")
            << QStringList{QString("Clef ") + QString::fromUcs4(U"\U0001D11E")}
            << QString::fromUcs4(U"\U0001D11E") << true;
        QTest::newRow("a sign that decomposes to a letter with a mark")
            << QStringList{QString("10 ") + QChar(0x212B)} << "10 a" << true; // Angstrom sign
        QTest::newRow("Hangul syllables found by their syllable")
            << QStringList{"", "방탄소년단"} << "소년" << true;
        QTest::newRow("a letter that differs is no accent")
            << QStringList{"Hæna"} << "haena" << false;
        QTest::newRow("blank query: every track") << halo << "   " << true;
        QTest::newRow("a lone combining mark is no word") << halo << QString(QChar(0x0301)) << true;
    }

    void matching()
    {
        QFETCH(QStringList, track);
        QFETCH(QString, query);
        QFETCH(bool, found);
        const TrackSearch search(oneTrack(track));
        QCOMPARE(search.matches(1, searchWords(query)), found);
    }

    // The filter keeps the given order, passes over numbers that name no track, and a
    // search made from an empty table finds nothing.
    void filterKeepsTheOrder()
    {
        TrackTable table;
        table.reset(4);
        const char *const artists[] = {"Björk", "Bjork Tribute", "Adele", "BJÖRK"};
        for (int k = 1; k <= 4; ++k)
            table.setText(k, FieldArtist, QString::fromUtf8(artists[k - 1]));
        const TrackSearch search(table);
        QCOMPARE(search.count(), 4);
        const std::vector<int> order{4, 3, 0, 2, 9, 1};
        QCOMPARE(search.filter(order, searchWords(u"björk")), (std::vector<int>{4, 2, 1}));
        QCOMPARE(search.filter(order, searchWords(u"")), (std::vector<int>{4, 3, 2, 1}));
        QCOMPARE(TrackSearch().filter(order, searchWords(u"")), std::vector<int>{});
    }

    // A query whose matches are among those of the one before, so that typing on needs
    // to look only at what was found before.
    void narrowing_data()
    {
        QTest::addColumn<QString>("next");
        QTest::addColumn<QString>("before");
        QTest::addColumn<bool>("narrows");
        QTest::newRow("one more letter") << "sigur r"
                                         << "sigur" << true;
        QTest::newRow("a word more") << "halo beyonce"
                                     << "beyonce" << true;
        QTest::newRow("a letter less") << "sig"
                                       << "sigu" << false;
        QTest::newRow("a letter changed") << "sigr"
                                          << "sigu" << false;
        QTest::newRow("case and accents alone") << "Rós"
                                                << "ROS" << true;
    }

    void narrowing()
    {
        QFETCH(QString, next);
        QFETCH(QString, before);
        QFETCH(bool, narrows);
        QCOMPARE(searchWords(next).narrows(searchWords(before)), narrows);
    }
};

SONDREL_TEST_MAIN_CORE(TestTrackSearch)
#include "test_tracksearch.moc"
