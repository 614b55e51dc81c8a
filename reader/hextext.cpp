#include "hextext.h"

#include <array>

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#define SONDREL_HEX_X86 1
#include <immintrin.h>
#endif

namespace sondrel {

namespace {

constexpr char Digits[] = "0123456789ABCDEF";

// "00" to "FF", two characters per byte value.
constexpr std::array<char, 512> makeHexPairs()
{
    std::array<char, 512> pairs{};
    for (int b = 0; b < 256; ++b) {
        pairs[std::size_t(2 * b)] = Digits[b >> 4];
        pairs[std::size_t(2 * b + 1)] = Digits[b & 15];
    }
    return pairs;
}

constexpr std::array<char, 512> HexPairs = makeHexPairs();

void encodePlain(const std::uint8_t *in, std::size_t count, char *out)
{
    for (std::size_t i = 0; i < count; ++i) {
        const char *pair = &HexPairs[std::size_t(in[i]) * 2];
        out[2 * i] = pair[0];
        out[2 * i + 1] = pair[1];
    }
}

#ifdef SONDREL_HEX_X86

// 16 bytes at a time: each nibble picks its digit from a 16-entry table (pshufb), and
// the high and low digits are interleaved into 32 characters.
__attribute__((target("ssse3"))) void encodeSsse3(const std::uint8_t *in, std::size_t count,
                                                  char *out)
{
    const __m128i digits = _mm_loadu_si128(reinterpret_cast<const __m128i *>(Digits));
    const __m128i nibble = _mm_set1_epi8(0x0F);
    std::size_t i = 0;
    for (; i + 16 <= count; i += 16) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i *>(in + i));
        const __m128i high =
            _mm_shuffle_epi8(digits, _mm_and_si128(_mm_srli_epi16(bytes, 4), nibble));
        const __m128i low = _mm_shuffle_epi8(digits, _mm_and_si128(bytes, nibble));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(out + 2 * i), _mm_unpacklo_epi8(high, low));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(out + 2 * i + 16),
                         _mm_unpackhi_epi8(high, low));
    }
    encodePlain(in + i, count - i, out + 2 * i);
}

// 32 bytes at a time, as above in each 128-bit lane; the interleaved halves of the two
// lanes are put back in order at the end.
__attribute__((target("avx2"))) void encodeAvx2(const std::uint8_t *in, std::size_t count,
                                                char *out)
{
    const __m256i digits =
        _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i *>(Digits)));
    const __m256i nibble = _mm256_set1_epi8(0x0F);
    std::size_t i = 0;
    for (; i + 32 <= count; i += 32) {
        const __m256i bytes = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(in + i));
        const __m256i high =
            _mm256_shuffle_epi8(digits, _mm256_and_si256(_mm256_srli_epi16(bytes, 4), nibble));
        const __m256i low = _mm256_shuffle_epi8(digits, _mm256_and_si256(bytes, nibble));
        const __m256i first = _mm256_unpacklo_epi8(high, low);  // bytes 0-7 and 16-23
        const __m256i second = _mm256_unpackhi_epi8(high, low); // bytes 8-15 and 24-31
        _mm256_storeu_si256(reinterpret_cast<__m256i *>(out + 2 * i),
                            _mm256_permute2x128_si256(first, second, 0x20));
        _mm256_storeu_si256(reinterpret_cast<__m256i *>(out + 2 * i + 32),
                            _mm256_permute2x128_si256(first, second, 0x31));
    }
    encodeSsse3(in + i, count - i, out + 2 * i);
}

#endif

using Encoder = void (*)(const std::uint8_t *, std::size_t, char *);

Encoder encoderOf(HexPath path)
{
    switch (path) {
#ifdef SONDREL_HEX_X86
    case HexPath::Avx2:
        return encodeAvx2;
    case HexPath::Ssse3:
        return encodeSsse3;
#endif
    default:
        return encodePlain;
    }
}

} // namespace

bool hexPathAvailable(HexPath path)
{
    if (path == HexPath::Plain)
        return true;
#ifdef SONDREL_HEX_X86
    __builtin_cpu_init(); // needed where this runs before the compiler's own start-up code
    if (path == HexPath::Ssse3)
        return __builtin_cpu_supports("ssse3");
    if (path == HexPath::Avx2)
        return __builtin_cpu_supports("avx2");
#endif
    return false;
}

HexPath fastestHexPath()
{
    static const HexPath fastest = [] {
        for (const HexPath path : {HexPath::Avx2, HexPath::Ssse3})
            if (hexPathAvailable(path))
                return path;
        return HexPath::Plain;
    }();
    return fastest;
}

void encodeHex(const std::uint8_t *in, std::size_t count, char *out)
{
    static const Encoder encoder = encoderOf(fastestHexPath());
    encoder(in, count, out);
}

void encodeHexWith(HexPath path, const std::uint8_t *in, std::size_t count, char *out)
{
    encoderOf(path)(in, count, out);
}

} // namespace sondrel
