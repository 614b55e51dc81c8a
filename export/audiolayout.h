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

// The parts of a file that writing its tags must leave as they are, each as its length and
// CRC-32, so that a tagged copy can be held against the bytes it was made from:
// - Mpeg: every byte after the ID3v2 tag at the start (ID3v1, APE and all).
// - Wav, Aiff: every chunk but the ID3 chunks, in order, and whatever follows the last one.
// - Mp4: the payload of every `mdat` box, and where each chunk offset of the `stco` and
//   `co64` tables points: into which `mdat` payload and how far into it.
struct AudioLayout
{
    struct Part
    {
        std::uint64_t length = 0;
        std::uint32_t crc = 0;
        friend bool operator==(const Part &, const Part &) = default;
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

    // The same audio: the parts and the chunk offsets (the tag's own bytes aside).
    bool sameAudio(const AudioLayout &other) const
    {
        return parts == other.parts && chunkOffsets == other.chunkOffsets;
    }
};

// The layout of the staged copy read as `format`, or why it cannot be told (`why`: a
// structure that runs past the end of the file, for one), in which case tags are not to
// be written. `buffer` is reused between calls.
std::optional<AudioLayout> audioLayout(StagedCopy &copy, HistoryFormat format, QString &why,
                                       std::vector<char> &buffer);

} // namespace sondrel
