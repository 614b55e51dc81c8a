#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <memory>
#include <span>

namespace sondrel {

// How far a compressed database may inflate: at most `ratio` times its compressed stream
// and at most `maximum` bytes, so that a hostile stream cannot take all memory.
struct InflateLimits
{
    std::uint64_t ratio = 64;
    std::uint64_t maximum = std::uint64_t(1) << 30; // 1 GiB
};

enum class InflateStatus {
    Plain,    // nothing to inflate: an ordinary database, or no database header to go by
    Inflated, // the stream was inflated into an ordinary database
    Damaged,  // the stream is damaged or ends early
    TooLarge, // the stream inflates beyond the limits (or beyond the memory to be had)
};

// A compressed database inflated: the ordinary database it stands for, in one buffer.
// The buffer grows by reallocation while the inflated size is unknown; large blocks then
// grow where they are instead of being copied, so that the database is not held twice.
class InflatedDatabase
{
public:
    InflateStatus status = InflateStatus::Plain;

    // The inflated database (empty unless the status is Inflated): the stored header,
    // followed by the inflated data sets.
    std::span<const std::uint8_t> bytes() const { return {m_data.get(), m_size}; }
    std::span<std::uint8_t> bytes() { return {m_data.get(), m_size}; }

    // The bytes after the last kept one, grown to `capacity` in all when there are none
    // left. Raises std::bad_alloc when the memory is not there.
    std::span<std::uint8_t> room(std::size_t capacity);
    // Keeps the first `count` bytes of the room last given.
    void keep(std::size_t count) { m_size += count; }
    // True when the next room() that asks for more moves the bytes.
    bool full() const { return m_size == m_capacity; }
    void clear();

private:
    struct Free
    {
        void operator()(std::uint8_t *p) const { std::free(p); }
    };
    std::unique_ptr<std::uint8_t, Free> m_data;
    std::size_t m_size = 0;
    std::size_t m_capacity = 0;
};

// Follows a database while it inflates. `grown` receives every byte inflated so far (the
// header first) each time more has come out, while the newest bytes are still in the
// processor's cache; `moving` is called before the buffer moves to a larger place, after
// which the spans given before are no longer valid. Either may raise, which ends the
// inflating with that exception.
struct InflateFollower
{
    std::function<void(std::span<const std::uint8_t> sofar)> grown;
    std::function<void()> moving;
};

// Inflates the bytes of a compressed database ("iTunesCDB" of the newer players). Such a
// file is the database header "mhbd" as it is stored (its header length at offset 4),
// followed by one zlib stream (RFC 1950) that inflates to the rest of an ordinary
// database. The inflated database is the header as it is stored followed by the inflated
// bytes; its length (header length + inflated length) is the database's total length,
// whatever the stored header says at offset 8 (there it describes the compressed file,
// and nothing reads it). When the bytes after the header are a data set "mhsd", or there
// is no usable header, the file is an ordinary database after all (Plain, no bytes) for
// the record walk to judge.
//
// `follower`, when given, follows the bytes as they come out; on any status but Inflated
// what it saw is to be thrown away.
InflatedDatabase inflateDatabase(std::span<const std::uint8_t> stored,
                                 const InflateLimits &limits = {},
                                 const InflateFollower &follower = {});

} // namespace sondrel
