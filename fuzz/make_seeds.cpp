// Writes the seed corpus of the record-walk fuzzer: small valid databases of every
// shape the walk knows (album list first, UTF-8 strings, odd types, extra bytes,
// playlists...), some of them compressed as the newer players keep them ("iTunesCDB").
// Usage: make_seeds FOLDER

#include "itunesdbbuilder.h"

#include <QDir>
#include <QFile>

using namespace sondrel::test;

namespace {

bool save(const QDir &folder, const char *name, const QByteArray &bytes)
{
    QFile file(folder.filePath(QLatin1String(name)));
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

TestTrack track(const char *title)
{
    return TestTrack::make(QLatin1String(title), QStringLiteral("Artist"), QStringLiteral("Album"),
                           QStringLiteral("Rock"), QStringLiteral(":iPod_Control:Music:F00:AB.mp3"),
                           QStringLiteral("MPEG audio file"))
        .withSize(4096)
        .withDuration(215999);
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2)
        return 2;
    const QDir folder(QString::fromLocal8Bit(argv[1]));
    if (!folder.mkpath(QStringLiteral(".")))
        return 1;

    TestDatabase empty;
    TestDatabase two;
    two.tracks << track("One") << track("Two");
    TestDatabase modern = two;
    modern.dataSets = TestDatabase::modernOrder();
    modern.headerLength = 244;

    TestDatabase odd;
    TestTrack mixed;
    mixed.strings << TestString::utf8(1, QString::fromUtf8("Grüße 日本"))
                  << TestString::raw(4, QByteArray("\x3D\xD8\x00\xDE\x00\xDC", 6))
                  << TestString::utf16(100, QStringLiteral("position"))
                  << TestString::utf16(0, QStringLiteral("zero"))
                  << TestString::utf16(8, QString());
    mixed.strings.last().extra = QByteArray(6, '\x01');
    mixed.extra = QByteArray(20, '\0');
    mixed.withDuration(-1).withSize(-5);
    odd.tracks << mixed << track("Three");
    odd.dataSets = {TestDataSet::PlaylistList, TestDataSet::AlbumList, TestDataSet::TrackList};

    TestDatabase lists = two;
    lists.dataSets = {TestDataSet::AlbumList, TestDataSet::TrackList, TestDataSet::PodcastList,
                      TestDataSet::PlaylistList};
    TestPlaylist mix;
    mix.title = QStringLiteral("Mix");
    mix.items = {101, 999, 100};
    mix.children << TestString::raw(50, QByteArray(24, '\x01'));
    lists.playlists << lists.masterPlaylist() << mix;
    lists.podcastPlaylists << mix;
    lists.tracks[0].trackNumber = 7;
    lists.tracks[0].year = 1999;
    lists.tracks[1].withString(StringComposer, QStringLiteral("Composer"));

    TestDatabase many;
    for (int i = 0; i < 6; ++i)
        many.tracks << track("x");
    many.announcedTracks = 4;

    const bool ok =
        save(folder, "empty", buildDatabase(empty)) &&
        save(folder, "two-tracks", buildDatabase(two)) &&
        save(folder, "album-list-first", buildDatabase(modern)) &&
        save(folder, "odd-strings", buildDatabase(odd)) &&
        save(folder, "fewer-announced", buildDatabase(many)) &&
        save(folder, "playlists", buildDatabase(lists)) &&
        save(folder, "compressed-album-list-first", compressDatabase(buildDatabase(modern))) &&
        save(folder, "compressed-odd-strings", compressDatabase(buildDatabase(odd), 1));
    return ok ? 0 : 1;
}
