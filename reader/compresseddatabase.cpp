#include "compresseddatabase.h"

#include "memory.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>

namespace sondrel {

namespace {

// Tag, header length and total length: the least a database header holds.
constexpr std::size_t HeaderMin = 12;
// The most a record length of the database can say (a signed 32-bit number).
constexpr std::uint64_t LengthMax = std::uint64_t(std::numeric_limits<std::int32_t>::max());
// zlib counts its input in 32 bits: it is handed over in steps of this.
constexpr std::size_t Step = std::size_t(1) << 30;
// Inflated bytes come out in pieces of this size, small enough to stay in the cache while
// a sink writes them on.
constexpr std::size_t PieceSize = std::size_t(256) << 10;

std::uint32_t le32(const std::uint8_t *p)
{
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
           std::uint32_t(p[3]) << 24;
}

// Inflates the zlib stream `in` onto the end of `out`, showing each piece to `follower`.
// Stops with TooLarge as soon as more than `limit` bytes have come out; the buffer never
// grows past one byte more than that. Bytes after the end of the stream are not looked at.
InflateStatus inflateStream(std::span<const std::uint8_t> in, std::uint64_t limit,
                            InflatedDatabase &out, const InflateFollower &follower)
{
    z_stream stream{};
    if (inflateInit(&stream) != Z_OK)
        return InflateStatus::Damaged;
    // The sink may raise (a full disk); the inflater's state goes in any case.
    struct End
    {
        z_stream &stream;
        ~End() { inflateEnd(&stream); }
    } end{stream};
    const std::size_t start = out.bytes().size();
    const std::size_t most = start + std::size_t(limit) + 1;
    // A first guess that most databases stay below (they deflate to a fifth to a fifteenth),
    // doubled whenever it is full. Room never written to costs address space only.
    std::size_t capacity = std::min(most, start + std::max<std::size_t>(16 * in.size(), 1 << 20));
    std::size_t fed = 0;
    InflateStatus status = InflateStatus::Damaged;
    for (;;) {
        if (stream.avail_in == 0 && fed < in.size()) {
            const std::size_t step = std::min(Step, in.size() - fed);
            stream.next_in = const_cast<Bytef *>(in.data() + fed);
            stream.avail_in = uInt(step);
            fed += step;
        }
        if (out.bytes().size() == capacity)
            capacity = std::min(most, 2 * capacity);
        if (out.full() && follower.moving)
            follower.moving();
        const std::span<std::uint8_t> room = out.room(capacity);
        stream.next_out = room.data();
        stream.avail_out = uInt(std::min(PieceSize, room.size()));
        const uInt offered = stream.avail_out;
        const int result = inflate(&stream, Z_NO_FLUSH);
        const std::size_t got = offered - stream.avail_out;
        out.keep(got);
        if (out.bytes().size() - start > limit) {
            status = InflateStatus::TooLarge;
            break;
        }
        if (follower.grown && got > 0)
            follower.grown(out.bytes());
        if (result == Z_STREAM_END) {
            status = InflateStatus::Inflated;
            break;
        }
        const bool inputLeft = stream.avail_in > 0 || fed < in.size();
        // No progress without more input: the stream ends early.
        if (result == Z_BUF_ERROR && !inputLeft)
            break;
        if (result != Z_OK && result != Z_BUF_ERROR)
            break; // a data error, a preset dictionary, no memory
    }
    return status;
}

} // namespace

std::span<std::uint8_t> InflatedDatabase::room(std::size_t capacity)
{
    if (m_size == m_capacity && capacity > m_capacity) {
        auto *grown = static_cast<std::uint8_t *>(std::realloc(m_data.get(), capacity));
        if (!grown)
            throw std::bad_alloc();
        m_data.release();
        m_data.reset(grown);
        m_capacity = capacity;
        adviseLargeBlock(grown, capacity);
    }
    return {m_data.get() + m_size, m_capacity - m_size};
}

void InflatedDatabase::clear()
{
    m_data.reset();
    m_size = 0;
    m_capacity = 0;
}

InflatedDatabase inflateDatabase(std::span<const std::uint8_t> stored, const InflateLimits &limits,
                                 const InflateFollower &follower)
{
    InflatedDatabase out;
    if (stored.size() < HeaderMin || std::memcmp(stored.data(), "mhbd", 4) != 0)
        return out;
    const std::size_t header = le32(stored.data() + 4);
    if (header < HeaderMin || header >= stored.size())
        return out;
    if (stored.size() - header >= 4 && std::memcmp(stored.data() + header, "mhsd", 4) == 0)
        return out;

    const std::span<const std::uint8_t> stream = stored.subspan(header);
    const std::uint64_t ratioLimit =
        limits.ratio > LengthMax / stream.size() ? LengthMax : limits.ratio * stream.size();
    const std::uint64_t limit = std::min({ratioLimit, limits.maximum, LengthMax - header});

    try {
        std::memcpy(out.room(header).data(), stored.data(), header);
        out.keep(header);
        if (follower.grown)
            follower.grown(out.bytes());
        out.status = inflateStream(stream, limit, out, follower);
    } catch (const std::bad_alloc &) {
        out.status = InflateStatus::TooLarge; // too large for this machine's memory
    }
    if (out.status != InflateStatus::Inflated) {
        if (follower.moving && !out.bytes().empty())
            follower.moving(); // the bytes go away
        out.clear();
    }
    return out;
}

} // namespace sondrel
