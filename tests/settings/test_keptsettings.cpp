// The settings kept between runs: read back as written, and a damaged store read as far
// as it validates, never failing.
#include "keptsettings.h"
#include "testfiles.h"
#include "testmain.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace sondrel;

namespace {

// The kept name fields as "Label+" (chosen) or "Label-", in list order; "none" when not kept.
QString shown(const std::optional<NameFields> &fields)
{
    if (!fields)
        return QStringLiteral("none");
    QStringList entries;
    for (const NameField &field : *fields)
        entries << field.label + (field.chosen ? "+" : "-");
    return entries.join(' ');
}

const QString DefaultFields =
    "Genre+ Artist+ Title+ Album+ ID+ Track- Disc- Year- AlbumArtist- Composer-";

} // namespace

class TestKeptSettings : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString file() const { return m_dir.filePath("Sondrel.conf"); }

private Q_SLOTS:
    void init() { QFile::remove(file()); }

    // What one run writes, the next reads; nothing written reads as nothing kept.
    void readsBackWhatWasWritten()
    {
        {
            KeptSettings empty(file());
            QCOMPARE(empty.exportDirectory(), QString());
            QCOMPARE(shown(empty.nameFields()), QString("none"));
            QCOMPARE(empty.exportOptions(), ExportOptions{});
            QVERIFY(empty.columnWidths().empty());
        }
        NameFields fields = defaultNameFields();
        std::swap(fields[0], fields[9]); // Composer first, Genre last
        fields[0].chosen = true;
        fields[1].chosen = false; // Artist
        const ExportOptions options{true, true};
        {
            KeptSettings kept(file());
            kept.setExportDirectory("/home/me/Müsic, old/");
            kept.setNameFields(fields);
            kept.setExportOptions(options);
            kept.setColumnWidths({13, 37, 300});
            // Written at once: another reader sees it while this one is still open.
            QCOMPARE(KeptSettings(file()).exportDirectory(), QString("/home/me/Müsic, old/"));
        }
        KeptSettings next(file());
        QCOMPARE(next.exportDirectory(), QString("/home/me/Müsic, old/"));
        QCOMPARE(next.nameFields(), std::optional<NameFields>(fields));
        QCOMPARE(next.exportOptions(), options);
        QCOMPARE(next.columnWidths(), (std::vector<int>{13, 37, 300}));
    }

    // Every value that does not validate reads as not kept (or the option's default);
    // the others are read all the same.
    void damagedStore_data()
    {
        QTest::addColumn<QByteArray>("contents");
        QTest::addColumn<QString>("directory");
        QTest::addColumn<QString>("fields");
        QTest::addColumn<QString>("options"); // folders, playlists: 1 or 0
        QTest::addColumn<QList<int>>("widths");

        QTest::newRow("binary junk") << QByteArray("\x00\xff[\x01=\n\xfe\xfe=@Rect(\x00", 14) << ""
                                     << "none"
                                     << "0 0" << QList<int>{};
        QTest::newRow("cut off in a section name")
            << QByteArray("[export]\ndirectory=/music/\n[win") << "/music/"
            << "none"
            << "0 0" << QList<int>{};
        QTest::newRow("values of the wrong kind")
            << QByteArray("[export]\ndirectory=a, b\nnameFields=@Rect(1 2 3 4)\n"
                          "chosenNameFields=Title\n[exportOptions]\nartistAlbumFolders=yes\n"
                          "writePlaylists=@Invalid()\n[window]\ngeometry=12\n"
                          "[grid]\ncolumnWidths=@ByteArray(xyz)\n")
            << ""
            << "none"
            << "0 0" << QList<int>{};
        QTest::newRow("an unknown name field")
            << QByteArray("[export]\nnameFields=Title, Mood\nchosenNameFields=Title\n") << ""
            << "none"
            << "0 0" << QList<int>{};
        QTest::newRow("a name field twice")
            << QByteArray("[export]\nnameFields=Title, Artist, Title\nchosenNameFields=Title\n")
            << ""
            << "none"
            << "0 0" << QList<int>{};
        QTest::newRow("Title not chosen")
            << QByteArray("[export]\nnameFields=Title, Artist\nchosenNameFields=Artist\n") << ""
            << "none"
            << "0 0" << QList<int>{};
        QTest::newRow("a chosen field that is not in the list")
            << QByteArray("[export]\nnameFields=Title\nchosenNameFields=Title, Artist\n") << ""
            << "none"
            << "0 0" << QList<int>{};
        QTest::newRow("a list that lacks later fields: they follow, not chosen")
            << QByteArray("[export]\nnameFields=Title, Genre\nchosenNameFields=Title\n") << ""
            << "Title+ Genre- Artist- Album- ID- Track- Disc- Year- AlbumArtist- Composer-"
            << "0 0" << QList<int>{};
        QTest::newRow("options spelled as the registry and by hand")
            << QByteArray("[exportOptions]\nartistAlbumFolders=1\nwritePlaylists= TRUE \n") << ""
            << "none"
            << "1 1" << QList<int>{};
        QTest::newRow("column widths: what is no width reads as not kept")
            << QByteArray("[grid]\ncolumnWidths=13, abc, -3, 99999, 0, 1.5, 120\n") << ""
            << "none"
            << "0 0" << QList<int>{13, 0, 0, 0, 0, 0, 120};
    }

    void damagedStore()
    {
        QFETCH(QByteArray, contents);
        QFETCH(QString, directory);
        QFETCH(QString, fields);
        QFETCH(QString, options);
        QFETCH(QList<int>, widths);
        QVERIFY(test::writeAll(file(), contents));

        KeptSettings kept(file());
        QCOMPARE(kept.exportDirectory(), directory);
        QCOMPARE(shown(kept.nameFields()), fields);
        const ExportOptions read = kept.exportOptions();
        QCOMPARE(QString("%1 %2").arg(read.artistAlbumFolders).arg(read.writePlaylists), options);
        const std::vector<int> w = kept.columnWidths();
        QCOMPARE(QList<int>(w.begin(), w.end()), widths);

        // The user's next choice is kept over the damage.
        kept.setNameFields(defaultNameFields());
        QCOMPARE(shown(KeptSettings(file()).nameFields()), DefaultFields);
    }

    // A store that cannot be read or written (here a folder where the file should be)
    // gives nothing kept, and a choice made then is passed over without a failure.
    void unwritableStore()
    {
        QVERIFY(QDir(m_dir.path()).mkpath("Sondrel.conf"));
        KeptSettings kept(file());
        QCOMPARE(kept.exportDirectory(), QString());
        kept.setExportDirectory("/music/");
        QVERIFY(QFileInfo(file()).isDir());
        QVERIFY(QDir(file()).removeRecursively());
    }
};

SONDREL_TEST_MAIN_CORE(TestKeptSettings)
#include "test_keptsettings.moc"
