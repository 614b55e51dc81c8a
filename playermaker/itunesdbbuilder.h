#pragma once

// Builds player track databases ("iTunesDB") and whole player folders for tests and
// benchmarks. Plain C++ over QtCore; nothing here needs a window.
//
// A quick player with two tracks and their sound files:
//
//     using namespace sondrel::test;
//     TestDatabase db;
//     db.tracks << TestTrack::make("Hi", "Artist", "Album", "Rock",
//                                  ":iPod_Control:Music:F00:AB.mp3")
//                      .withContents("ID3 first file") // size = 14 unless set
//                      .withDuration(215999);
//     db.tracks << TestTrack::make("Two", "B", "C", "Pop",
//                                  ":iPod_Control:Music:F01:CD.m4a", "AAC audio file");
//     QVERIFY(writePlayer(tempDir.path(), db));   // <root>/iPod_Control/iTunes/iTunesDB,
//                                                 // <root>/iPod_Control/Music/F00/AB.mp3, ...
//
// With playlists (the tracks' unique IDs are 100, 101, ... unless set):
//
//     db.dataSets = TestDatabase::modernOrder();  // album list, track list, playlist list
//     TestPlaylist road;
//     road.title = "Road";
//     road.items = {101, 100};                    // Two, then Hi
//     db.playlists << db.masterPlaylist() << road;
//
// The database layout is the player's: a database header "mhbd", data sets "mhsd"
// (optionally an album list before the track list, as current desktop software writes
// them), the track list "mhlt", one "mhit" per track with its unique ID (offset 16),
// file size (36), duration (40), track number (44), year (52), disc number (92),
// persistent ID (112, 64 bits) and history (rating 31, plays 80, last played 88, date
// added 104, skips 156, last skipped 160) as
// far as its header length reaches, and string children "mhod" (UTF-16LE by default)
// in any order; the playlist lists "mhlp" hold playlists "mhyp" with a title child and
// items "mhip" (the track's unique ID at offset 24, each with a position child).

#include <QByteArray>
#include <QList>
#include <QString>

#include <cstdint>
#include <optional>
#include <span>

namespace sondrel::test {

// String child types of a track.
enum TestStringType {
    StringTitle = 1,
    StringLocation = 2,
    StringAlbum = 3,
    StringArtist = 4,
    StringGenre = 5,
    StringFileType = 6,
    StringEqualiser = 7,
    StringComment = 8,
    StringComposer = 12,
    StringAlbumArtist = 22,
};

// One string child ("mhod") of a track.
struct TestString
{
    int type = StringTitle;
    QByteArray bytes;    // the string as stored after offset 40
    qint32 encoding = 1; // the field at offset 24: 1 = UTF-16LE, 2 = UTF-8
    QByteArray extra;    // bytes after the string, counted in the child's total length

    // `text` as UTF-16LE (the player's usual form).
    static TestString utf16(int type, const QString &text);
    // `text` as UTF-8, with 2 at offset 24.
    static TestString utf8(int type, const QString &text);
    // Bytes as given (for odd lengths, lone surrogates and the like), encoding field 1.
    static TestString raw(int type, const QByteArray &bytes);
};

// One track ("mhit") with its string children in the order listed.
struct TestTrack
{
    std::optional<qint32> size; // file size in bytes; when unset, the length of `contents`
    qint32 duration = 0;        // milliseconds; may be negative
    QList<TestString> strings;
    QByteArray extra;    // bytes after the children, counted in the track's total length
    QByteArray contents; // the sound file's bytes, written by writePlayer()
    qint32 headerLength = 0x248;
    std::optional<qint32> uniqueId; // when unset, 100 + the track's position (0, 1, ...)
    qint32 trackNumber = 0;
    qint32 year = 0;
    qint32 discNumber = 0;
    quint64 persistentId = 0; // offset 112, as far as the header length reaches
    // The history, as far as the header length reaches (the skips only from 244 bytes on).
    quint8 rating = 0;       // offset 31: stars x 20
    quint32 playCount = 0;   // 80
    quint32 lastPlayed = 0;  // 88, Mac time
    quint32 dateAdded = 0;   // 104, Mac time
    quint32 skipCount = 0;   // 156
    quint32 lastSkipped = 0; // 160, Mac time
    quint32 artworkLink = 0; // 352: the image ID of its cover, as far as the header reaches

    // Title, artist, album, genre and location (UTF-16LE), plus a file type when given.
    static TestTrack make(const QString &title, const QString &artist, const QString &album,
                          const QString &genre, const QString &location,
                          const QString &fileType = QString());

    TestTrack &withString(int type, const QString &text);
    TestTrack &withSize(qint32 bytes);
    TestTrack &withDuration(qint32 milliseconds);
    TestTrack &withContents(const QByteArray &bytes);
    TestTrack &withComment(const QString &text) { return withString(StringComment, text); }

    // The location child's text (type 2, the last one if several), decoded; empty when none.
    QString location() const;
    qint32 effectiveSize() const { return size.value_or(qint32(contents.size())); }
};

// One playlist ("mhyp"): its title child first, then its other children, then one item
// per track ID.
struct TestPlaylist
{
    QString title;
    QList<qint32> items;        // unique track IDs, in playlist order
    bool master = false;        // byte 20: the whole library
    QList<TestString> children; // after the title: smart-playlist rules, view settings...
};

// Data sets that a database can hold, in the order they are written.
enum class TestDataSet {
    TrackList,    // type 1, "mhlt" with the tracks
    AlbumList,    // type 4, "mhla" with one "mhia" per distinct album
    PlaylistList, // type 2, "mhlp" with the playlists
    PodcastList,  // type 3, "mhlp" with the podcast playlists
};

struct TestDatabase
{
    QList<TestTrack> tracks;
    QList<TestDataSet> dataSets{TestDataSet::TrackList};
    QList<TestPlaylist> playlists;        // of the data set of type 2
    QList<TestPlaylist> podcastPlaylists; // of the data set of type 3
    qint32 headerLength = 0x68;           // of "mhbd"
    // When set, the track list announces this many tracks instead of tracks.size().
    std::optional<qint32> announcedTracks;

    // The album list first and the track list second, as every database written since 2006.
    static QList<TestDataSet> modernOrder()
    {
        return {TestDataSet::AlbumList, TestDataSet::TrackList, TestDataSet::PlaylistList};
    }

    // The unique ID of track `index` (0, 1, ...).
    qint32 uniqueIdOf(int index) const { return tracks[index].uniqueId.value_or(100 + index); }
    // The master playlist: every track, in track order.
    TestPlaylist masterPlaylist() const;
};

// Where the records of a built database start (byte offsets from the file's start), so
// that a test can damage one field on purpose with putLe32().
struct TestLayout
{
    int trackListDataSet = -1;  // the "mhsd" that holds the track list
    int trackList = -1;         // "mhlt"
    QList<int> tracks;          // each "mhit"
    QList<QList<int>> children; // each track's "mhod"s
    int playlistDataSet = -1;   // the "mhsd" of type 2
    int playlistList = -1;      // its "mhlp"
    QList<int> playlists;       // its "mhyp"s
    QList<QList<int>> items;    // each of those playlists' "mhip"s
};

// The database's bytes; `layout`, when given, receives the record offsets.
QByteArray buildDatabase(const TestDatabase &db, TestLayout *layout = nullptr);

// The compressed form of a database, as the newer players keep it in "iTunesCDB": the
// database header as it is, but with the compressed file's length at offset 8 and 2 at
// offset 12, followed by the rest of the database deflated into one zlib stream.
QByteArray compressDatabase(const QByteArray &database, int level = -1);

// The bytes of a buffer as the reader takes them (a view: the buffer must outlive it).
inline std::span<const std::uint8_t> bytesOf(const QByteArray &data)
{
    return {reinterpret_cast<const std::uint8_t *>(data.constData()), std::size_t(data.size())};
}

// One entry of the player's "Play Counts" file: what happened since the last sync.
struct TestPlayCount
{
    quint32 plays = 0;
    quint32 lastPlayed = 0; // Mac time
    quint32 rating = 0;     // stars x 20
    quint32 skips = 0;
    quint32 lastSkipped = 0; // Mac time
};

// The bytes of a "Play Counts" file ("mhdp"): a header of `headerLength` bytes, then one
// entry of `entryLength` bytes per element (plays at 0, last played at 4, rating at 12,
// skips at 20, last skipped at 24, each only when the entry reaches past it).
QByteArray buildPlayCounts(const QList<TestPlayCount> &entries, qint32 entryLength = 28,
                           qint32 headerLength = 0x60);

// Overwrites 4 bytes at `offset` with `value`, little-endian (the buffer grows if needed).
void putLe32(QByteArray &bytes, int offset, qint32 value);

// ":iPod_Control:Music:F00:ABCD.mp3" under `root`: <root>/iPod_Control/Music/F00/ABCD.mp3.
QString locationPath(const QString &root, const QString &location);

// Makes a whole player folder under `root` (which must exist): the database at
// <root>/iPod_Control/iTunes/iTunesDB and, for every track with a location, a file at
// that location holding the track's `contents`. Returns false when a file cannot be written.
bool writePlayer(const QString &root, const TestDatabase &db);
// Same, with database bytes of the caller's own (the tracks only give the sound files).
bool writePlayer(const QString &root, const QByteArray &database,
                 const QList<TestTrack> &tracks = {});
// Writes one file of a player: <root>/<relative>, with the folders on the way.
bool writePlayerFile(const QString &root, const QString &relative, const QByteArray &bytes);

} // namespace sondrel::test
