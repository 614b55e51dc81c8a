#pragma once

#include "artworkbuilder.h"
#include "itunesdbbuilder.h"

#include <QByteArray>
#include <QString>

namespace sondrel::test {

// A WAV file that plays: a RIFF "WAVE" of 16-bit PCM, mono, 8,000 samples a second,
// holding `milliseconds` of a sine tone at `hertz` that fades in and out (no clicks).
QByteArray toneWav(double hertz, int milliseconds = 1000);

// The demo player: about 300 tracks of made-up albums with varied genres, artists,
// album artists, composers, comments, years, track and disc numbers; names in Latin
// (accented letters too), Greek and Cyrillic script; a few odd ones (a very long title,
// a title with the characters Windows forbids in file names, a track without album, two
// tracks of the same title); the master playlist and several others. Every track is a
// second of a tone as a WAV file at ":iPod_Control:Music:Fxx:XXXX.wav". The same every
// time.
TestDatabase makeDemoPlayer();

// The demo player's covers, with the links of `db`'s tracks set to them: one cover per
// album (a 320 and a 128 pixel thumbnail) but for the last album, and the first track of
// "Radio Ghosts" with a picture of its own, wider than high (600 x 400).
TestArtwork demoCovers(TestDatabase &db);

// The titles of the demo's odd tracks, for whoever checks them.
namespace demo {
inline constexpr int TrackCount = 300;
QString longTitle();
QString forbiddenTitle(); // with < > : " / \ | ? *
QString duplicateTitle(); // two tracks bear it
} // namespace demo

} // namespace sondrel::test
