#pragma once

#include "historytags.h"

#include <QString>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace sondrel {

class StagedCopy;

// What a file holds by its first bytes: an ID3v2 header or an MPEG audio frame (Mpeg), an
// `ftyp` box (Mp4), "RIFF....WAVE" (Wav), "FORM....AIFF" or "FORM....AIFC" (Aiff), else
// None. An ID3v2 tag in front of MP4 boxes or of a RIFF or FORM file is not Mpeg.
HistoryFormat contentFormat(StagedCopy &copy);

// The name of the kind of file a format tags, as messages give it ("MP3").
QString formatName(HistoryFormat format);

// Where each byte of a staged copy came from while its tags are written: every write and
// every move of bytes goes through the copy's stream, which tells the map. The copy starts
// as the source, byte for byte; bytes written since are new.
class CopyMap
{
public:
    explicit CopyMap(std::uint64_t length);

    // `removed` bytes at `at` give way to `inserted` new ones; the bytes after move along.
    void replace(std::uint64_t at, std::uint64_t removed, std::uint64_t inserted);
    // `count` bytes written at `at`, over what was there (and past the end).
    void write(std::uint64_t at, std::uint64_t count);
    // Cut to `size` bytes, or extended with new ones.
    void resize(std::uint64_t size);
    std::uint64_t length() const;
    // True when the copy's `count` bytes at `copyAt` are the source's at `sourceAt`,
    // never written since.
    bool holds(std::uint64_t copyAt, std::uint64_t sourceAt, std::uint64_t count) const;

private:
    static constexpr std::uint64_t New = ~std::uint64_t(0);
    struct Piece
    {
        std::uint64_t length;
        std::uint64_t source; // offset in the source, or New
    };
    // The index of the piece that starts at `at`, splitting one when needed.
    std::size_t split(std::uint64_t at);
    std::vector<Piece> m_pieces; // in the copy's order
};

// The parts of a file that writing its tags must leave as they are, so that a tagged copy
// can be held against the bytes it was made from:
// - Mpeg: every byte after the ID3v2 tag at the start (ID3v1, APE and all).
// - Wav, Aiff: every chunk but the ID3 chunks, in order, and whatever follows the last one.
// - Mp4: the payload of every `mdat` box, and where each chunk offset of the `stco` and
//   `co64` tables points: into which `mdat` payload and how far into it.
struct AudioLayout
{
    struct Part
    {
        std::uint64_t offset = 0;
        std::uint64_t length = 0;
    };
    std::vector<Part> parts;
    // Mp4: (the index of the mdat box, the offset into its payload); -1 and the offset
    // itself for an offset outside every mdat payload.
    std::vector<std::pair<int, std::uint64_t>> chunkOffsets;
    // Wav, Aiff: the ID3 chunks, and where the first one's id is.
    int id3Chunks = 0;
    std::uint64_t id3ChunkAt = 0;
    bool id3ChunkLowerCase = false; // named "id3 " rather than "ID3 "
    // Wav, Aiff: the RIFF or FORM size matches the file's length.
    bool containerSizeRight = true;
    // Mpeg: a 2.4 tag flags a footer that is not there.
    bool footerMissing = false;
};

// The layout of the staged copy read as `format` (its structure only: the parts are not
// read), or why it cannot be told (`why`: a structure that runs past the end of the file,
// for one), in which case tags are not to be written.
std::optional<AudioLayout> audioLayout(StagedCopy &copy, HistoryFormat format, QString &why);

// True when the tagged copy (`copy`, its layout after tagging) holds the source's audio
// (`source`, the layout before): the same chunk offsets, and every part in its place the
// very bytes of the source's part, as `map` tells, none of them written.
bool sameAudio(const AudioLayout &source, const AudioLayout &copy, const CopyMap &map);

// The first and last bytes (4 KiB each at most) of every part, where bytes that moved
// would show first: read before tagging, and compared with the same read after it.
std::vector<char> partEdges(StagedCopy &copy, const AudioLayout &layout);

} // namespace sondrel
