// Ratings and play counts in the copies' tags: real MP3 and M4A files made here, exported by
// the run and read back through TagLib; a file TagLib refuses; a copy tagged again when the
// player's history changed.
#include "artworkbuilder.h"
#include "artworkdb.h"
#include "audiolayout.h"
#include "exportmessages.h"
#include "exportrecord.h"
#include "exportrun.h"
#include "filesystem_posix.h"
#include "historytags.h"
#include "itunesdbbuilder.h"
#include "testmain.h"
#include "tracktables.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <taglib/aifffile.h>
#include <taglib/attachedpictureframe.h>
#include <taglib/id3v2tag.h>
#include <taglib/mp4file.h>
#include <taglib/mpegfile.h>
#include <taglib/popularimeterframe.h>
#include <taglib/textidentificationframe.h>
#include <taglib/wavfile.h>

using namespace sondrel;
using namespace sondrel::test;

namespace {

class Host : public ExportHost
{
public:
    void message(const QString &) override {}
    void failure(const PlatformError &) override {}
    void setBusy(bool) override {}
};

QByteArray be32(quint32 n)
{
    const char b[] = {char(n >> 24), char(n >> 16), char(n >> 8), char(n)};
    return QByteArray(b, 4);
}
QByteArray synchsafe(quint32 n)
{
    const char b[] = {char((n >> 21) & 0x7f), char((n >> 14) & 0x7f), char((n >> 7) & 0x7f),
                      char(n & 0x7f)};
    return QByteArray(b, 4);
}

// MPEG-1 layer III frames, 128 kbit/s at 44.1 kHz, each 417 bytes, each with bytes of its own.
QByteArray mpegFrames(int count)
{
    QByteArray out;
    for (int i = 0; i < count; ++i) {
        QByteArray frame(417, char(i * 7));
        frame[0] = char(0xFF), frame[1] = char(0xFB), frame[2] = char(0x90), frame[3] = 0;
        out += frame;
    }
    return out;
}

// An ID3v2 tag of `version` (3 or 4) with a title, `popms` POPM frames and `padding` zeros.
QByteArray id3v2(int version, int popms, int padding)
{
    const auto frame = [&](const char *id, const QByteArray &data) {
        return QByteArray(id) +
               (version == 4 ? synchsafe(quint32(data.size())) : be32(quint32(data.size()))) +
               QByteArray(2, 0) + data;
    };
    QByteArray frames = frame("TIT2", QByteArray(1, 0) + "Old title");
    for (int i = 0; i < popms; ++i)
        frames += frame("POPM", QByteArray("other@player") + '\0' + char(50 + i) + be32(7));
    frames += QByteArray(padding, 0);
    return QByteArray("ID3") + char(version) + QByteArray(2, 0) +
           synchsafe(quint32(frames.size())) + frames;
}

QByteArray id3v1()
{
    QByteArray tag = "TAG" + QByteArray("Song v1").leftJustified(30, 0) +
                     QByteArray("Artist v1").leftJustified(30, 0) + QByteArray(30 + 4 + 30, 0);
    return tag + char(12);
}

// The size of the ID3v2 tag at the start of `bytes`, 0 when there is none.
int id3v2Size(const QByteArray &bytes)
{
    if (!bytes.startsWith("ID3"))
        return 0;
    const auto b = [&](int i) { return int(quint8(bytes[i])); };
    return 10 + (b(6) << 21 | b(7) << 14 | b(8) << 7 | b(9));
}

QByteArray le32(quint32 n)
{
    const char b[] = {char(n), char(n >> 8), char(n >> 16), char(n >> 24)};
    return QByteArray(b, 4);
}

// The RIFF INFO list of a WAV file, which must stay as it is.
const QByteArray WavInfo =
    "LIST" + le32(4 + 8 + 6) + "INFO" + "INAM" + le32(6) + QByteArray("Name\0\0", 6);

// A small WAV: its format, its sound data and an INFO list.
QByteArray wav()
{
    const QByteArray format =
        le32(1 | 2 << 16) + le32(44100) + le32(44100 * 4) + le32(4 | 16 << 16);
    const QByteArray chunks =
        "fmt " + le32(16) + format + "data" + le32(4000) + QByteArray(4000, 'w') + WavInfo;
    return "RIFF" + le32(quint32(4 + chunks.size())) + "WAVE" + chunks;
}

// A WAV with an ID3 chunk of its own under `id` ("ID3 " or "id3 ") before its INFO list.
QByteArray wavWithId3(const char *id)
{
    const QByteArray plain = wav();
    const QByteArray tag = id3v2(3, 1, 0);
    const QByteArray chunks = plain.mid(12, plain.size() - 12 - WavInfo.size()) + id +
                              le32(quint32(tag.size())) + tag +
                              (tag.size() % 2 ? QByteArray(1, 0) : QByteArray()) + WavInfo;
    return "RIFF" + le32(quint32(4 + chunks.size())) + "WAVE" + chunks;
}

// A small AIFF: its common chunk and its sound data.
QByteArray aiff()
{
    const QByteArray comm = "COMM" + be32(18) + QByteArray("\0\1\0\0\x03\xe8\0\x10", 8) +
                            QByteArray("\x40\x0e\xac\x44\0\0\0\0\0\0", 10);
    const QByteArray chunks =
        comm + "SSND" + be32(8 + 2000) + QByteArray(8, 0) + QByteArray(2000, 's');
    return "FORM" + be32(quint32(4 + chunks.size())) + "AIFF" + chunks;
}

// The ids of the chunks of a RIFF or FORM file, in order; "!" when its size is wrong.
QStringList chunkIds(const QByteArray &bytes)
{
    const bool riff = bytes.startsWith("RIFF");
    const auto number = [&](qsizetype at) {
        const auto b = [&](int i) { return quint32(quint8(bytes[at + i])); };
        return riff ? b(0) | b(1) << 8 | b(2) << 16 | b(3) << 24
                    : b(3) | b(2) << 8 | b(1) << 16 | b(0) << 24;
    };
    QStringList ids;
    if (number(4) + 8 != quint32(bytes.size()))
        ids << "!";
    for (qsizetype at = 12; at + 8 <= bytes.size(); at += 8 + number(at + 4) + (number(at + 4) & 1))
        ids << QString::fromLatin1(bytes.mid(at, 4));
    return ids;
}

QByteArray atom(const char *name, const QByteArray &payload)
{
    return be32(quint32(8 + payload.size())) + name + payload;
}

// A small M4A: its file type, a movie header with a title item, and its sound data.
QByteArray m4a()
{
    const QByteArray hdlr = atom("hdlr", QByteArray(8, 0) + "mdir" + QByteArray(13, 0));
    const QByteArray title = atom("\xa9nam", atom("data", be32(1) + be32(0) + "M4A title"));
    const QByteArray meta = atom("meta", QByteArray(4, 0) + hdlr + atom("ilst", title));
    const QByteArray moov = atom("moov", atom("mvhd", QByteArray(100, 0)) + atom("udta", meta));
    return atom("ftyp", QByteArray("M4A ") + be32(0) + "M4A mp42") + moov +
           atom("mdat", QByteArray(4000, 'a'));
}

// A player folder with one track, an export folder, and runs of it into that folder.
struct Player
{
    QTemporaryDir dir;
    QString exportDir = dir.filePath("export") + "/";
    QString location;
    TrackTable table;
    ExportOptions options;
    PosixFileSystem fs;

    Player(const QString &name, const QByteArray &bytes, std::uint8_t rating, std::uint32_t plays)
        : location(":iPod_Control:Music:F00:" + name)
    {
        QDir(dir.path()).mkpath("player/iPod_Control/Music/F00");
        QDir(dir.path()).mkpath("export");
        QFile source(sourcePath());
        if (source.open(QIODevice::WriteOnly))
            source.write(bytes);
        TableTrack track;
        track.title = "Song";
        track.size = std::uint64_t(bytes.size());
        track.location = location;
        track.persistentId = 0x1234;
        table = tableOf({track});
        setHistory(rating, plays);
        options.historyTags = true;
    }

    void setHistory(std::uint8_t rating, std::uint32_t plays)
    {
        table.track(1).rating = rating;
        table.track(1).playCount = plays;
    }
    QString sourcePath() const
    {
        return dir.filePath("player/iPod_Control/Music/F00/") + location.section(':', -1);
    }
    QString copyPath() const { return exportDir + "Song." + location.section('.', -1); }

    ExportReport run()
    {
        ExportRequest request;
        request.playerDrive = dir.filePath("player") + "/";
        request.exportDirectory = exportDir;
        request.marked = {1};
        request.fields = onlyTitleFields();
        request.options = options;
        Host host;
        ExportRun run(fs, host);
        if (run.check(table, request) != ExportRun::Outcome::Ready)
            return {};
        ExportProgress progress;
        return run.copy(progress);
    }

    QByteArray bytes(const QString &path) const
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    QByteArray recordLine() const
    {
        return bytes(exportDir + ExportRecordFileName).split('\n').value(1);
    }
};

// What a copy's tags tell: version, POPM frames as "email rating counter", the TXXX and
// freeform values.
struct ReadBack
{
    int version = 0;
    QStringList popm;
    QString rating, playcount, title;
};

QString qs(const TagLib::String &s)
{
    return QString::fromStdString(s.to8Bit(true));
}

ReadBack readBack(const QString &path)
{
    ReadBack out;
    const QByteArray name = QFile::encodeName(path);
    if (path.endsWith(".m4a")) {
        TagLib::MP4::File file(name.constData());
        const auto item = [&](const char *key) {
            return file.tag()->contains(key) ? qs(file.tag()->item(key).toStringList().toString())
                                             : QString();
        };
        out.rating = item(Mp4RatingItem);
        out.playcount = item(Mp4PlaycountItem);
        out.title = qs(file.tag()->title());
        return out;
    }
    TagLib::MPEG::File mp3(name.constData());
    TagLib::RIFF::WAV::File wav(name.constData());
    TagLib::RIFF::AIFF::File aif(name.constData());
    const bool isWav = path.endsWith(".wav"), isAiff = path.endsWith(".aif");
    if (!(isWav ? wav.hasID3v2Tag() : isAiff ? aif.hasID3v2Tag() : mp3.hasID3v2Tag()))
        return out;
    TagLib::ID3v2::Tag *tag = isWav ? wav.ID3v2Tag() : isAiff ? aif.tag() : mp3.ID3v2Tag();
    out.version = int(tag->header()->majorVersion());
    for (TagLib::ID3v2::Frame *frame : tag->frameList("POPM")) {
        auto *popm = static_cast<TagLib::ID3v2::PopularimeterFrame *>(frame);
        out.popm << QStringLiteral("%1 %2 %3")
                        .arg(qs(popm->email()))
                        .arg(popm->rating())
                        .arg(popm->counter());
    }
    using Txxx = TagLib::ID3v2::UserTextIdentificationFrame;
    if (Txxx *frame = Txxx::find(tag, "FMPS_Rating"))
        out.rating = qs(frame->fieldList().back());
    if (Txxx *frame = Txxx::find(tag, "FMPS_Playcount"))
        out.playcount = qs(frame->fieldList().back());
    out.title = qs(tag->title());
    return out;
}

const QString Wmp = QStringLiteral("Windows Media Player 9 Series");

// A file's own picture, made here, and how it is stored in an ID3v2.3 tag and an M4A.
const QByteArray OwnPicture = QByteArray("\xff\xd8\xff\xe0own picture", 15);
QByteArray id3WithPicture()
{
    const QByteArray apic = QByteArray(1, 0) + "image/jpeg" + '\0' + char(3) + '\0' + OwnPicture;
    const QByteArray frames = "APIC" + be32(quint32(apic.size())) + QByteArray(2, 0) + apic;
    return QByteArray("ID3") + char(3) + QByteArray(2, 0) + synchsafe(quint32(frames.size())) +
           frames;
}
QByteArray m4aWithPicture()
{
    const QByteArray hdlr = atom("hdlr", QByteArray(8, 0) + "mdir" + QByteArray(13, 0));
    const QByteArray covr = atom("covr", atom("data", be32(13) + be32(0) + OwnPicture));
    const QByteArray meta = atom("meta", QByteArray(4, 0) + hdlr + atom("ilst", covr));
    const QByteArray moov = atom("moov", atom("mvhd", QByteArray(100, 0)) + atom("udta", meta));
    return atom("ftyp", QByteArray("M4A ") + be32(0) + "M4A mp42") + moov +
           atom("mdat", QByteArray(4000, 'a'));
}

// The pictures of a copy, as TagLib reads them back: "<type> <mime> <bytes>" for ID3v2,
// "covr <format> <bytes>" for MP4, the bytes as hexadecimal when they are not a JPEG made
// here (which shows as "jpeg").
QStringList picturesOf(const QString &path)
{
    const auto shown = [](const TagLib::ByteVector &data) {
        const QByteArray bytes(data.data(), int(data.size()));
        return bytes == OwnPicture                ? QString("own")
               : bytes.startsWith("\xff\xd8\xff") ? QString("jpeg")
                                                  : QString(bytes.toHex());
    };
    QStringList out;
    const QByteArray name = QFile::encodeName(path);
    if (path.endsWith(".m4a")) {
        TagLib::MP4::File file(name.constData());
        if (file.tag() && file.tag()->contains("covr")) {
            for (const TagLib::MP4::CoverArt &art : file.tag()->item("covr").toCoverArtList())
                out << QString("covr %1 %2").arg(int(art.format())).arg(shown(art.data()));
        }
        return out;
    }
    TagLib::MPEG::File mp3(name.constData());
    TagLib::RIFF::WAV::File wav(name.constData());
    const bool isWav = path.endsWith(".wav");
    if (!(isWav ? wav.hasID3v2Tag() : mp3.hasID3v2Tag()))
        return out;
    for (TagLib::ID3v2::Frame *frame :
         (isWav ? wav.ID3v2Tag() : mp3.ID3v2Tag())->frameList("APIC")) {
        auto *apic = static_cast<TagLib::ID3v2::AttachedPictureFrame *>(frame);
        out << QString("%1 %2 %3")
                   .arg(int(apic->type()))
                   .arg(qs(apic->mimeType()))
                   .arg(shown(apic->picture()));
    }
    return out;
}

// Gives the player of `p` one cover, a 600 x 400 picture, for its track.
void giveCover(Player &p)
{
    TestArtwork art{{TestImage{7, 0x1234, {fitThumbnail(1060, 320, 600, 400, 0x3366CC)}}}};
    const QString root = p.dir.filePath("player");
    QVERIFY(writeArtwork(root, art));
    auto artwork = std::make_shared<PlayerArtwork>();
    const BuiltArtwork built = buildArtwork(art);
    QCOMPARE(parseArtworkDb(bytesOf(built.database), *artwork), ArtworkStatus::Read);
    artwork->player = (root + "/").toStdString();
    artwork->folder = (root + "/iPod_Control/Artwork/").toStdString();
    p.table.setArtwork(artwork);
    p.table.track(1).coverImage = 7;
}

} // namespace

class TestHistoryTags : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Each copy read back through TagLib; the sound bytes and an ID3v1 tag stay byte for byte.
    void tagsReadBack_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("source");
        QTest::addColumn<int>("rating");
        QTest::addColumn<int>("plays");
        QTest::addColumn<int>("version"); // of the copy's ID3v2 tag
        QTest::addColumn<QString>("popm");
        QTest::addColumn<QString>("fmpsRating");
        QTest::addColumn<QString>("fmpsPlaycount");
        QTest::addColumn<int>("growth"); // the copy against its source: -1, 0 (in place), 1

        const QByteArray frames = mpegFrames(40);
        const QByteArray more = mpegFrames(3000); // more than the 1 MiB moved at once
        QTest::newRow("MP3 without ID3v2, with ID3v1: a 2.3 tag added, 2.75 stars as 3")
            << "A.mp3" << frames + id3v1() << 55 << 12 << 3 << Wmp + " 128 12"
            << "0.6"
            << "12" << 1;
        QTest::newRow("2.4 tag, two POPM frames, no room: stays 2.4, one POPM")
            << "A.mp3" << id3v2(4, 2, 0) + more << 75 << 3 << 4 << Wmp + " 196 3"
            << "0.8"
            << "3" << 1;
        QTest::newRow("2.3 tag with room, five stars: written in place")
            << "A.mp3" << id3v2(3, 1, 1000) + frames + id3v1() << 100 << 0 << 3 << Wmp + " 255 0"
            << "1.0"
            << "0" << 0;
        QTest::newRow("a tag whose large padding goes: the file shrinks")
            << "A.mp3" << id3v2(3, 0, 60000) + more << 20 << 1 << 3 << Wmp + " 1 1"
            << "0.2"
            << "1" << -1;
        QTest::newRow("played, unrated: no FMPS_Rating")
            << "A.mp3" << frames << 0 << 5 << 3 << Wmp + " 0 5"
            << ""
            << "5" << 1;
        QTest::newRow("WAV: an ID3 chunk, its INFO list kept")
            << "A.wav" << wav() << 60 << 2 << 3 << Wmp + " 128 2"
            << "0.6"
            << "2" << 1;
        QTest::newRow("WAV with its own chunk named ID3 : one chunk left, named id3 ")
            << "A.wav" << wavWithId3("ID3 ") << 80 << 9 << 3 << Wmp + " 196 9"
            << "0.8"
            << "9" << 1;
        QTest::newRow("WAV with its own chunk named id3 : one chunk left")
            << "A.wav" << wavWithId3("id3 ") << 80 << 9 << 3 << Wmp + " 196 9"
            << "0.8"
            << "9" << 1;
        QTest::newRow("AIFF: an ID3 chunk named id3 ")
            << "A.aif" << aiff() << 20 << 1 << 3 << Wmp + " 1 1"
            << "0.2"
            << "1" << 1;
        QTest::newRow("M4A: freeform items") << "A.m4a" << m4a() << 40 << 7 << 0 << ""
                                             << "0.4"
                                             << "7" << 1;
        QTest::newRow("unrated, never played: untouched")
            << "A.mp3" << id3v2(3, 1, 0) + frames << 0 << 0 << 0 << ""
            << ""
            << "" << 0;
        QTest::newRow("protected .m4p: untouched") << "A.m4p" << m4a() << 100 << 9 << 0 << ""
                                                   << ""
                                                   << "" << 0;
    }

    void tagsReadBack()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, source);
        QFETCH(int, rating);
        QFETCH(int, plays);
        QFETCH(int, version);
        QFETCH(QString, popm);
        QFETCH(QString, fmpsRating);
        QFETCH(QString, fmpsPlaycount);
        QFETCH(int, growth);
        Player p(name, source, std::uint8_t(rating), std::uint32_t(plays));
        p.options.libraryFile = true;
        const ExportReport report = p.run();
        QCOMPARE(report.copied, 1);
        QVERIFY2(report.skipped.empty(), qPrintable(closingMessage(report)));
        QCOMPARE(p.bytes(p.sourcePath()), source); // the player's file as it was

        const QByteArray copy = p.bytes(p.copyPath());
        QCOMPARE((copy.size() > source.size()) - (copy.size() < source.size()), growth);
        const bool untouched = fmpsPlaycount.isEmpty();
        if (untouched) {
            QCOMPARE(copy, source);
            QVERIFY(p.recordLine().endsWith("\t\t\t\t")); // no tags, nothing lost
            return;
        }
        const ReadBack back = readBack(p.copyPath());
        QCOMPARE(back.rating, fmpsRating);
        QCOMPARE(back.playcount, fmpsPlaycount);
        if (name.endsWith(".m4a")) {
            QCOMPARE(back.title, QString("M4A title"));
            QVERIFY(copy.endsWith(atom("mdat", QByteArray(4000, 'a'))));
        } else {
            QCOMPARE(back.version, version);
            QCOMPARE(back.popm, QStringList{popm});
        }
        // The library file gives the size of the copy, not of the player's file.
        const QRegularExpressionMatch size =
            QRegularExpression("<key>Size</key><integer>(\\d+)</integer>")
                .match(QString::fromUtf8(p.bytes(p.exportDir + "Sondrel Library.xml")));
        QCOMPARE(size.captured(1), QString::number(copy.size()));
        if (name.endsWith(".wav")) {
            QVERIFY(copy.contains(WavInfo));
            QVERIFY(copy.contains("data" + le32(4000) + QByteArray(4000, 'w')));
            QCOMPARE(chunkIds(copy), (QStringList{"fmt ", "data", "LIST", "id3 "}));
        } else if (name.endsWith(".aif")) {
            QVERIFY(
                copy.contains("SSND" + be32(8 + 2000) + QByteArray(8, 0) + QByteArray(2000, 's')));
            QCOMPARE(chunkIds(copy), (QStringList{"COMM", "SSND", "id3 "}));
        } else if (name.endsWith(".mp3")) {
            QCOMPARE(copy.mid(id3v2Size(copy)), source.mid(id3v2Size(source)));
            if (source.startsWith("ID3"))
                QCOMPARE(back.title, QString("Old title"));
        }
        const int stars = qRound(fmpsRating.toDouble() * 5); // ratings between stars rounded
        QVERIFY(p.recordLine().endsWith(
            QStringLiteral("\t%1\t%2\t%3\t\t").arg(stars).arg(plays).arg(CurrentTagForm).toUtf8()));
        // The record holds the source's size and the copy's own.
        QVERIFY(p.recordLine().contains(QStringLiteral("\t%1\t").arg(source.size()).toUtf8()));
        QVERIFY(p.recordLine().contains(QStringLiteral("\t%1\t").arg(copy.size()).toUtf8()));
    }

    // The player's cover put into the copies that have no picture (and into the copies
    // already there once the option is turned on), read back through TagLib; a picture of
    // the file's own stays, and so does a copy that nothing else is written into.
    void coversReadBack_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("source");
        QTest::addColumn<int>("plays");     // with history tags when not 0
        QTest::addColumn<bool>("offFirst"); // a run without covers before
        QTest::addColumn<QStringList>("pictures");
        QTest::addColumn<QString>("recorded"); // the record's cover column

        const QStringList front{"3 image/jpeg jpeg"};
        const QByteArray mp3 = mpegFrames(20);
        QTest::newRow("MP3 without a picture: APIC front cover")
            << "A.mp3" << mp3 << 0 << false << front << "player";
        QTest::newRow("MP3 with history tags and the cover in one go")
            << "A.mp3" << mp3 << 5 << false << front << "player";
        QTest::newRow("MP3 with its own picture: untouched")
            << "A.mp3" << QByteArray(id3WithPicture() + mp3) << 0 << false
            << QStringList{"3 image/jpeg own"} << "own";
        QTest::newRow("WAV: APIC in its ID3 chunk")
            << "A.wav" << wav() << 0 << false << front << "player";
        QTest::newRow("M4A: covr item")
            << "A.m4a" << m4a() << 0 << false << QStringList{"covr 13 jpeg"} << "player";
        QTest::newRow("M4A with its own covr: untouched")
            << "A.m4a" << m4aWithPicture() << 0 << false << QStringList{"covr 13 own"} << "own";
        QTest::newRow("copied without covers before, the option on now")
            << "A.mp3" << mp3 << 0 << true << front << "player";
    }
    void coversReadBack()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, source);
        QFETCH(int, plays);
        QFETCH(bool, offFirst);
        QFETCH(QString, recorded);
        Player p(name, source, 0, std::uint32_t(plays));
        giveCover(p);
        p.options.historyTags = plays != 0;
        if (offFirst)
            QCOMPARE(p.run().copied, 1);
        p.options.covers = true;
        const ExportReport report = p.run();
        QCOMPARE(report.copied, 1);
        QVERIFY(report.skipped.empty());
        QCOMPARE(QDir(p.exportDir).entryList(QDir::Files),
                 QStringList{"Song." + name.section('.', -1)});
        QTEST(picturesOf(p.copyPath()), "pictures");
        if (recorded == "own" && plays == 0)
            QCOMPARE(p.bytes(p.copyPath()), source);
        if (plays)
            QCOMPARE(readBack(p.copyPath()).playcount, QString::number(plays));
        QVERIFY(p.recordLine().endsWith(("\t" + recorded + "\n").toUtf8()) ||
                p.recordLine().endsWith(("\t" + recorded).toUtf8()));
        // Once there, a run again copies nothing.
        QCOMPARE(p.run().already, 1);
    }

    // With artist and album folders, the album folder's cover.jpg: the player's cover, else
    // the track's own JPEG; a user's cover.jpg stays and ours takes " (2)"; a run again
    // leaves ours as it is, and a changed cover replaces it in its place.
    void albumCoverFile_data()
    {
        QTest::addColumn<bool>("playerCover");
        QTest::addColumn<bool>("ownPicture"); // the track carries OwnPicture
        QTest::addColumn<bool>("usersFile");  // a cover.jpg of the user's in the album folder
        QTest::addColumn<bool>("folders");
        QTest::addColumn<QString>("expected"); // the album folder's files, ours last
        QTest::newRow("the player's cover") << true << false << false << true << "cover.jpg";
        QTest::newRow("the player's cover over the track's own")
            << true << true << false << true << "cover.jpg";
        QTest::newRow("no player cover: the track's own picture")
            << false << true << false << true << "cover.jpg";
        QTest::newRow("no picture at all: none") << false << false << false << true << "";
        QTest::newRow("a user's cover.jpg kept")
            << true << false << true << true << "cover (2).jpg";
        QTest::newRow("without folders: none") << true << false << false << false << "";
    }
    void albumCoverFile()
    {
        QFETCH(bool, playerCover);
        QFETCH(bool, ownPicture);
        QFETCH(bool, usersFile);
        QFETCH(bool, folders);
        QFETCH(QString, expected);
        const QByteArray mp3 = mpegFrames(20);
        Player p("A.mp3", ownPicture ? QByteArray(id3WithPicture() + mp3) : mp3, 0, 0);
        p.table.setText(1, FieldArtist, "Sigur Rós");
        p.table.setText(1, FieldAlbum, "Takk");
        if (playerCover)
            giveCover(p);
        p.options.historyTags = false;
        p.options.covers = true;
        p.options.artistAlbumFolders = folders;
        const QString album = p.exportDir + "Sigur Rós/Takk/";
        if (usersFile) {
            QDir().mkpath(album);
            QFile file(album + "cover.jpg");
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write("mine") == 4);
        }
        ExportReport report = p.run();
        QCOMPARE(report.copied, 1);
        QVERIFY(report.skipped.empty());
        if (expected.isEmpty()) {
            QVERIFY(!QFile::exists(album + "cover.jpg"));
            QVERIFY(!QFile::exists(p.exportDir + "cover.jpg"));
            return;
        }
        const QByteArray want =
            playerCover ? [&] {
                const JpegBytes jpeg = encodeJpeg(readCover(p.fs, *p.table.artwork(), 7));
                return QByteArray(reinterpret_cast<const char *>(jpeg.data()), qsizetype(jpeg.size()));
            }()
                        : OwnPicture;
        QVERIFY(want.startsWith("\xff\xd8\xff"));
        QCOMPARE(p.bytes(album + expected), want);
        if (usersFile)
            QCOMPARE(p.bytes(album + "cover.jpg"), QByteArray("mine"));
        QVERIFY(std::count(report.written.begin(), report.written.end(),
                           (album + expected).toStdString()) == 1);
        QVERIFY(
            p.bytes(p.exportDir + ExportRecordFileName)
                .contains(("Sigur Rós/Takk/" + expected + "\tcover\tSigur Rós/Takk/").toUtf8()));

        // Again: nothing new, ours left as it is.
        const QDateTime written = QFileInfo(album + expected).lastModified();
        report = p.run();
        QCOMPARE(report.already, 1);
        QVERIFY(report.written.empty());
        QCOMPARE(QFileInfo(album + expected).lastModified(), written);
        QCOMPARE(QDir(album).entryList({"cover*"}, QDir::Files).size(), usersFile ? 2 : 1);
    }

    // A file whose content is not what its name says, that TagLib cannot read, or whose
    // tagged copy would lose or move sound bytes, is copied untagged: exported, listed as
    // such and recorded with "-". It is not tried again while its source stays the same.
    void tagsNotWritten_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("source");
        QTest::addColumn<QString>("reason");
        QByteArray footerless = id3v2(4, 0, 0) + mpegFrames(30);
        footerless[5] = 0x10; // a footer flagged, none there
        QByteArray pastEnd = id3v2(3, 0, 0) + mpegFrames(40);
        pastEnd.replace(6, 4, synchsafe(quint32(pastEnd.size()))); // the tag's size: the whole file
        QTest::newRow("M4A named .mp3") << "A.mp3" << m4a() << "the file's content is not MP3";
        QTest::newRow("MP3 named .m4a")
            << "A.m4a" << mpegFrames(10) << "the file's content is not MP4";
        QTest::newRow("MP3 named .wav")
            << "A.wav" << mpegFrames(10) << "the file's content is not WAV";
        QTest::newRow("M4A behind an ID3v2 tag, named .mp3")
            << "A.mp3" << id3v2(3, 0, 0) + m4a() << "the file's content is not MP3";
        QTest::newRow("an empty WAV")
            << "A.wav" << QByteArray() << "the file is too short to hold audio";
        QTest::newRow("ID3v2 size past the end")
            << "A.mp3" << pastEnd << "its ID3v2 tag runs past the end of the file";
        QTest::newRow("2.4 footer flagged, none there: audio bytes would go")
            << "A.mp3" << footerless << "the tagged copy's sound data differ from the source's";
        QTest::newRow("WAV whose chunk runs past its end")
            << "A.wav" << wav().left(2000) << "its chunks run past the end of the file";
        QTest::newRow("MP4 cut short")
            << "A.m4a" << atom("ftyp", "M4A " + be32(0)) + be32(3) + "moov"
            << "its boxes run past the end of the file";
    }

    void tagsNotWritten()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, source);
        QFETCH(QString, reason);
        Player p(name, source, 60, 2);
        ExportReport report = p.run();
        QCOMPARE(report.copied, 1);
        QCOMPARE(p.bytes(p.copyPath()), source);
        QCOMPARE(closingMessage(report),
                 "1 of 1 files exported.\nSong: tags not written: " + reason +
                     "\nThe full list is in " + p.exportDir + ExportErrorsFileName + ".");
        QVERIFY(p.bytes(p.exportDir + ExportErrorsFileName)
                    .contains("\ttags not written: " + reason.toUtf8()));
        QVERIFY(p.recordLine().endsWith("\t-\t-\t\t\t"));

        p.setHistory(80, 3);
        report = p.run();
        QCOMPARE(report.copied, 0);
        QCOMPARE(report.already, 1);
    }

    // The map of where a copy's bytes come from, after the edits a tag writer makes: "r"
    // replaces (at, removed, inserted), "w" writes (at, count), "s" resizes; each check is
    // "copy at, source at, count = holds".
    void copyMap_data()
    {
        QTest::addColumn<QString>("edits");
        QTest::addColumn<QString>("checks");
        QTest::newRow("a larger tag in front: the rest moves") << "r0,10,30"
                                                               << "30,10,90=1 0,0,10=0 29,9,2=0";
        QTest::newRow("a tag that takes 10 bytes of sound with it") << "r0,20,20"
                                                                    << "20,20,80=1 20,10,90=0";
        QTest::newRow("a write in the middle") << "w40,5"
                                               << "0,0,40=1 40,40,5=0 45,45,55=1";
        QTest::newRow("cut, then grown") << "s50 s60"
                                         << "0,0,50=1 50,50,10=0";
        QTest::newRow("a chunk removed, one written at the end")
            << "r10,20,0 w80,40"
            << "0,0,10=1 10,30,70=1 10,10,20=0 80,100,1=0";
    }
    void copyMap()
    {
        QFETCH(QString, edits);
        QFETCH(QString, checks);
        CopyMap map(100);
        for (const QString &edit : edits.split(' ')) {
            const QStringList n = edit.mid(1).split(',');
            const auto at = [&](int i) { return std::uint64_t(n.value(i).toULongLong()); };
            if (edit.startsWith('r'))
                map.replace(at(0), at(1), at(2));
            else if (edit.startsWith('w'))
                map.write(at(0), at(1));
            else
                map.resize(at(0));
        }
        for (const QString &check : checks.split(' ')) {
            const QStringList n = check.section('=', 0, 0).split(',');
            QVERIFY2(map.holds(n[0].toULongLong(), n[1].toULongLong(), n[2].toULongLong()) ==
                         check.endsWith("=1"),
                     qPrintable(check));
        }
    }

    // A copy "already there" is tagged again when the player's history changed, in its own
    // place; with the option off nothing changes.
    void taggedAgainWhenTheHistoryChanged_data()
    {
        // "tagged", "old form" (plays as "4.0"), "untagged", "by hand" (before the record)
        QTest::addColumn<QString>("first");
        QTest::addColumn<int>("plays");       // of the second run
        QTest::addColumn<bool>("secondTags"); // the option in the second run
        QTest::addColumn<int>("copied");      // by the second run
        QTest::addColumn<QString>("playcount");
        QTest::newRow("the same history: already there") << "tagged" << 4 << true << 0 << "4";
        QTest::newRow("played since") << "tagged" << 6 << true << 1 << "6";
        QTest::newRow("option off: left as it is") << "tagged" << 6 << false << 0 << "4";
        QTest::newRow("tagged with play counts as \"4.0\" before: tagged anew")
            << "old form" << 4 << true << 1 << "4";
        QTest::newRow("copied untagged before, the option on now")
            << "untagged" << 4 << true << 1 << "4";
        QTest::newRow("the source's bytes put there before the record: taken, then tagged")
            << "by hand" << 4 << true << 1 << "4";
    }

    void taggedAgainWhenTheHistoryChanged()
    {
        QFETCH(QString, first);
        QFETCH(int, plays);
        QFETCH(bool, secondTags);
        QFETCH(int, copied);
        QFETCH(QString, playcount);
        Player p("A.mp3", mpegFrames(20), 60, 4);
        if (first == "by hand") {
            QFile::copy(p.sourcePath(), p.copyPath());
        } else {
            p.options.historyTags = first != "untagged";
            QCOMPARE(p.run().copied, 1);
        }
        if (first == "old form") { // the record as the first form wrote it: no form column
            const QString record = p.exportDir + ExportRecordFileName;
            QByteArray text = p.bytes(record).replace("\ttag form", "").replace("\t2\t\n", "\t\n");
            QFile file(record);
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(text) == text.size());
        }
        p.setHistory(60, std::uint32_t(plays));
        p.options.historyTags = secondTags;
        const ExportReport report = p.run();
        QCOMPARE(report.copied, copied);
        QCOMPARE(report.already, 1 - copied);
        QCOMPARE(QDir(p.exportDir).entryList(QDir::Files), QStringList{"Song.mp3"});
        QCOMPARE(readBack(p.copyPath()).playcount,
                 first != "untagged" || copied ? playcount : QString());
    }
};

SONDREL_TEST_MAIN_CORE(TestHistoryTags)
#include "test_historytags.moc"
