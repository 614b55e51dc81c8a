#include "audiolayout.h"

#include "filesystem.h"

#include <algorithm>
#include <cstring>

namespace sondrel {

namespace {

using Bytes = const unsigned char *;

std::uint32_t be32(Bytes b)
{
    return std::uint32_t(b[0]) << 24 | std::uint32_t(b[1]) << 16 | std::uint32_t(b[2]) << 8 | b[3];
}
std::uint64_t be64(Bytes b)
{
    return std::uint64_t(be32(b)) << 32 | be32(b + 4);
}
std::uint32_t le32(Bytes b)
{
    return std::uint32_t(b[3]) << 24 | std::uint32_t(b[2]) << 16 | std::uint32_t(b[1]) << 8 | b[0];
}
bool is(Bytes b, const char (&id)[5])
{
    return std::memcmp(b, id, 4) == 0;
}

// The length of the ID3v2 tag whose header is `b` (10 bytes), without a footer; 0 when `b`
// is no ID3v2 header.
std::uint64_t id3v2Length(Bytes b)
{
    if (!(b[0] == 'I' && b[1] == 'D' && b[2] == '3') || b[3] < 2 || b[3] > 4 || b[4] == 0xFF ||
        (b[6] | b[7] | b[8] | b[9]) & 0x80)
        return 0;
    return 10 + (std::uint64_t(b[6]) << 21 | std::uint64_t(b[7]) << 14 | std::uint64_t(b[8]) << 7 |
                 b[9]);
}

// An MPEG audio frame header: the sync bits, then a version, a layer, a bitrate and a
// sample rate that are not the reserved values.
bool mpegFrame(Bytes b, std::size_t n)
{
    if (n < 3 || b[0] != 0xFF || (b[1] & 0xE0) != 0xE0)
        return false;
    return ((b[1] >> 3) & 3) != 1 && ((b[1] >> 1) & 3) != 0 && (b[2] >> 4) != 15 &&
           ((b[2] >> 2) & 3) != 3;
}

// A container that its first 12 bytes name, or None.
HistoryFormat containerOf(Bytes b, std::size_t n)
{
    if (n >= 8 && is(b + 4, "ftyp"))
        return HistoryFormat::Mp4;
    if (n >= 12 && is(b, "RIFF") && is(b + 8, "WAVE"))
        return HistoryFormat::Wav;
    if (n >= 12 && is(b, "FORM") && (is(b + 8, "AIFF") || is(b + 8, "AIFC")))
        return HistoryFormat::Aiff;
    return HistoryFormat::None;
}

// Reads small pieces of the file at an offset, and names its parts.
class Reader
{
public:
    explicit Reader(StagedCopy &copy) : m_copy(copy) {}

    // The part of `length` bytes from `offset`, which must lie in the file.
    std::optional<AudioLayout::Part> part(std::uint64_t offset, std::uint64_t length)
    {
        if (offset + length > m_copy.size())
            return std::nullopt;
        return AudioLayout::Part{offset, length};
    }

    // Exactly `n` bytes at `offset` into `out`, or false.
    bool read(std::uint64_t offset, void *out, std::size_t n)
    {
        std::size_t done = 0;
        while (done < n) {
            const std::size_t got =
                m_copy.readAt(offset + done, static_cast<char *>(out) + done, n - done);
            if (got == 0)
                return false;
            done += got;
        }
        return true;
    }

private:
    StagedCopy &m_copy;
};

const QString Shorter = QStringLiteral("the file became shorter while it was read");

std::optional<AudioLayout> mpegLayout(Reader &reader, std::uint64_t length, QString &why)
{
    AudioLayout layout;
    unsigned char head[10] = {};
    std::uint64_t tagEnd = 0;
    if (length >= 10 && reader.read(0, head, 10) && (tagEnd = id3v2Length(head)) != 0) {
        // A 2.4 tag may end in a footer; one that the flag promises but that is not there
        // leaves the tag where its size says.
        if (head[3] == 4 && (head[5] & 0x10)) {
            unsigned char footer[3] = {};
            if (tagEnd + 10 <= length && reader.read(tagEnd, footer, 3) &&
                std::memcmp(footer, "3DI", 3) == 0)
                tagEnd += 10;
            else
                layout.footerMissing = true;
        }
        if (tagEnd > length) {
            why = QStringLiteral("its ID3v2 tag runs past the end of the file");
            return std::nullopt;
        }
    }
    const std::optional<AudioLayout::Part> rest = reader.part(tagEnd, length - tagEnd);
    if (!rest) {
        why = Shorter;
        return std::nullopt;
    }
    layout.parts.push_back(*rest);
    return layout;
}

std::optional<AudioLayout> chunkLayout(Reader &reader, std::uint64_t length, bool bigEndian,
                                       QString &why)
{
    AudioLayout layout;
    unsigned char head[12] = {};
    if (length < 12 || !reader.read(0, head, 12)) {
        why = Shorter;
        return std::nullopt;
    }
    const std::uint32_t containerSize = bigEndian ? be32(head + 4) : le32(head + 4);
    layout.containerSizeRight = std::uint64_t(containerSize) + 8 == length;
    std::uint64_t at = 12;
    while (at + 8 <= length) {
        unsigned char chunk[8];
        if (!reader.read(at, chunk, 8)) {
            why = Shorter;
            return std::nullopt;
        }
        const std::uint64_t size = bigEndian ? be32(chunk + 4) : le32(chunk + 4);
        if (at + 8 + size > length) {
            why = QStringLiteral("its chunks run past the end of the file");
            return std::nullopt;
        }
        if (is(chunk, "ID3 ") || is(chunk, "id3 ")) {
            if (layout.id3Chunks++ == 0) {
                layout.id3ChunkAt = at;
                layout.id3ChunkLowerCase = chunk[0] == 'i';
            }
        } else {
            // The chunk's id, size and data; a pad byte after odd data is not held.
            const std::optional<AudioLayout::Part> part = reader.part(at, 8 + size);
            if (!part) {
                why = Shorter;
                return std::nullopt;
            }
            layout.parts.push_back(*part);
        }
        at += 8 + size + (size & 1);
    }
    if (at < length) { // bytes after the last chunk
        const std::optional<AudioLayout::Part> part = reader.part(at, length - at);
        if (!part) {
            why = Shorter;
            return std::nullopt;
        }
        layout.parts.push_back(*part);
    }
    return layout;
}

// Boxes of MP4 files, walked from the top to the chunk offset tables.
class BoxWalk
{
public:
    BoxWalk(Reader &reader, AudioLayout &layout, QString &why)
        : m_reader(reader), m_layout(layout), m_why(why)
    {
    }

    // The boxes from `from` to `to`; false when one runs past its parent's end.
    bool walk(std::uint64_t from, std::uint64_t to, bool top)
    {
        for (std::uint64_t at = from; at + 8 <= to;) {
            unsigned char head[16];
            if (!m_reader.read(at, head, 8))
                return fail(Shorter);
            std::uint64_t size = be32(head);
            std::uint64_t header = 8;
            if (size == 1) {
                if (at + 16 > to || !m_reader.read(at + 8, head + 8, 8))
                    return fail(QStringLiteral("its boxes run past the end of the file"));
                size = be64(head + 8);
                header = 16;
            } else if (size == 0) {
                size = to - at; // to the end
            }
            if (size < header || size > to - at)
                return fail(QStringLiteral("its boxes run past the end of the file"));
            const std::uint64_t start = at + header, end = at + size;
            if (top && is(head + 4, "mdat")) {
                const std::optional<AudioLayout::Part> payload = m_reader.part(start, end - start);
                if (!payload)
                    return fail(Shorter);
                m_layout.parts.push_back(*payload);
                m_mdats.push_back({start, end});
            } else if ((top && is(head + 4, "moov")) ||
                       (!top && (is(head + 4, "trak") || is(head + 4, "mdia") ||
                                 is(head + 4, "minf") || is(head + 4, "stbl")))) {
                if (!walk(start, end, false))
                    return false;
            } else if (!top && (is(head + 4, "stco") || is(head + 4, "co64"))) {
                if (!table(start, end, is(head + 4, "co64")))
                    return false;
            }
            at = end;
        }
        return true;
    }

    // Where every chunk offset points, once every mdat box is known.
    void finish()
    {
        for (const std::uint64_t offset : m_offsets) {
            const auto in = std::find_if(m_mdats.begin(), m_mdats.end(), [&](const auto &mdat) {
                return offset >= mdat.first && offset < mdat.second;
            });
            if (in == m_mdats.end())
                m_layout.chunkOffsets.push_back({-1, offset});
            else
                m_layout.chunkOffsets.push_back({int(in - m_mdats.begin()), offset - in->first});
        }
    }

private:
    bool fail(const QString &why)
    {
        m_why = why;
        return false;
    }

    bool table(std::uint64_t start, std::uint64_t end, bool wide)
    {
        constexpr std::uint64_t Most = 64ull << 20; // far more than any sound file's
        if (end - start < 8 || end - start > Most)
            return fail(QStringLiteral("its chunk offset table cannot be read"));
        std::vector<unsigned char> bytes(std::size_t(end - start));
        if (!m_reader.read(start, bytes.data(), bytes.size()))
            return fail(Shorter);
        const std::uint64_t count = be32(bytes.data() + 4);
        const std::size_t width = wide ? 8 : 4;
        if (count > (bytes.size() - 8) / width)
            return fail(QStringLiteral("its chunk offset table runs past its box"));
        for (std::uint64_t i = 0; i < count; ++i) {
            const unsigned char *entry = bytes.data() + 8 + i * width;
            m_offsets.push_back(wide ? be64(entry) : be32(entry));
        }
        return true;
    }

    Reader &m_reader;
    AudioLayout &m_layout;
    QString &m_why;
    std::vector<std::pair<std::uint64_t, std::uint64_t>> m_mdats; // payload from, to
    std::vector<std::uint64_t> m_offsets;
};

} // namespace

HistoryFormat contentFormat(StagedCopy &copy)
{
    unsigned char head[12] = {};
    const std::size_t n = copy.readAt(0, head, sizeof head);
    if (n >= 10) {
        if (const std::uint64_t tag = id3v2Length(head)) {
            // What follows the tag tells: MP4 boxes, or a RIFF or FORM file, behind an
            // ID3v2 tag are not MPEG audio.
            unsigned char after[12] = {};
            const std::size_t m = copy.readAt(tag, after, sizeof after);
            const HistoryFormat behind = containerOf(after, m);
            return behind == HistoryFormat::None ? HistoryFormat::Mpeg : behind;
        }
    }
    if (mpegFrame(head, n))
        return HistoryFormat::Mpeg;
    return containerOf(head, n);
}

QString formatName(HistoryFormat format)
{
    switch (format) {
    case HistoryFormat::Mpeg:
        return QStringLiteral("MP3");
    case HistoryFormat::Wav:
        return QStringLiteral("WAV");
    case HistoryFormat::Aiff:
        return QStringLiteral("AIFF");
    case HistoryFormat::Mp4:
        return QStringLiteral("MP4");
    case HistoryFormat::None:
        break;
    }
    return QString();
}

std::optional<AudioLayout> audioLayout(StagedCopy &copy, HistoryFormat format, QString &why)
{
    Reader reader(copy);
    const std::uint64_t length = copy.size();
    switch (format) {
    case HistoryFormat::Mpeg:
        return mpegLayout(reader, length, why);
    case HistoryFormat::Wav:
        return chunkLayout(reader, length, false, why);
    case HistoryFormat::Aiff:
        return chunkLayout(reader, length, true, why);
    case HistoryFormat::Mp4: {
        AudioLayout layout;
        BoxWalk walk(reader, layout, why);
        if (!walk.walk(0, length, true))
            return std::nullopt;
        walk.finish();
        return layout;
    }
    case HistoryFormat::None:
        break;
    }
    why = QStringLiteral("its content is of no type that takes tags");
    return std::nullopt;
}

CopyMap::CopyMap(std::uint64_t length)
{
    if (length)
        m_pieces.push_back({length, 0});
}

std::uint64_t CopyMap::length() const
{
    std::uint64_t total = 0;
    for (const Piece &piece : m_pieces)
        total += piece.length;
    return total;
}

std::size_t CopyMap::split(std::uint64_t at)
{
    std::uint64_t start = 0;
    for (std::size_t i = 0; i < m_pieces.size(); ++i) {
        if (at == start)
            return i;
        if (at < start + m_pieces[i].length) {
            Piece rest = m_pieces[i];
            const std::uint64_t head = at - start;
            m_pieces[i].length = head;
            rest.length -= head;
            if (rest.source != New)
                rest.source += head;
            m_pieces.insert(m_pieces.begin() + std::ptrdiff_t(i) + 1, rest);
            return i + 1;
        }
        start += m_pieces[i].length;
    }
    if (at > start) // past the end: the gap reads as zeros, which are new bytes
        m_pieces.push_back({at - start, New});
    return m_pieces.size();
}

void CopyMap::replace(std::uint64_t at, std::uint64_t removed, std::uint64_t inserted)
{
    const std::size_t first = split(at);
    const std::size_t last = removed ? split(at + removed) : first;
    m_pieces.erase(m_pieces.begin() + std::ptrdiff_t(first),
                   m_pieces.begin() + std::ptrdiff_t(last));
    if (inserted)
        m_pieces.insert(m_pieces.begin() + std::ptrdiff_t(first), Piece{inserted, New});
}

void CopyMap::write(std::uint64_t at, std::uint64_t count)
{
    const std::uint64_t end = length();
    if (at > end)
        replace(end, 0, at - end);
    replace(at, std::min(count, std::max(end, at) - at), count);
}

void CopyMap::resize(std::uint64_t size)
{
    const std::uint64_t end = length();
    if (size < end)
        replace(size, end - size, 0);
    else if (size > end)
        replace(end, 0, size - end);
}

bool CopyMap::holds(std::uint64_t copyAt, std::uint64_t sourceAt, std::uint64_t count) const
{
    std::uint64_t start = 0;
    for (const Piece &piece : m_pieces) {
        if (count == 0)
            break;
        const std::uint64_t end = start + piece.length;
        if (copyAt < end) {
            if (piece.source == New || piece.source + (copyAt - start) != sourceAt)
                return false;
            const std::uint64_t n = std::min(count, end - copyAt);
            copyAt += n;
            sourceAt += n;
            count -= n;
        }
        start = end;
    }
    return count == 0;
}

std::vector<char> partEdges(StagedCopy &copy, const AudioLayout &layout)
{
    constexpr std::uint64_t Edge = 4096;
    std::vector<char> bytes;
    Reader reader(copy);
    const auto take = [&](std::uint64_t at, std::uint64_t n) {
        const std::size_t start = bytes.size();
        bytes.resize(start + std::size_t(n));
        if (!reader.read(at, bytes.data() + start, std::size_t(n)))
            bytes.resize(start); // the file ended early: the edges differ
    };
    for (const AudioLayout::Part &part : layout.parts) {
        const std::uint64_t head = std::min(part.length, Edge);
        take(part.offset, head);
        const std::uint64_t tail = std::min(part.length - head, Edge);
        take(part.offset + part.length - tail, tail);
    }
    return bytes;
}

bool sameAudio(const AudioLayout &source, const AudioLayout &copy, const CopyMap &map)
{
    if (source.parts.size() != copy.parts.size() || source.chunkOffsets != copy.chunkOffsets)
        return false;
    for (std::size_t i = 0; i < source.parts.size(); ++i) {
        if (source.parts[i].length != copy.parts[i].length ||
            !map.holds(copy.parts[i].offset, source.parts[i].offset, source.parts[i].length))
            return false;
    }
    return true;
}

} // namespace sondrel
