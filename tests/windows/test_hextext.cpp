#include "../../reader/hextext.h"

#include <doctest.h>

#include <string>
#include <vector>

using namespace sondrel;

TEST_CASE("hex text: every way this processor offers gives the same text")
{
    // 256 byte values, then odd lengths around the vector widths.
    std::vector<std::uint8_t> bytes(300);
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = std::uint8_t(i * 167 + 13);
    std::string expected;
    for (const std::uint8_t b : bytes) {
        expected += "0123456789ABCDEF"[b >> 4];
        expected += "0123456789ABCDEF"[b & 15];
    }
    for (const HexPath path : {HexPath::Plain, HexPath::Ssse3, HexPath::Avx2}) {
        if (!hexPathAvailable(path))
            continue;
        for (const std::size_t length :
             {std::size_t(0), std::size_t(17), std::size_t(33), std::size_t(65), bytes.size()}) {
            std::string text(2 * length, '#');
            encodeHexWith(path, bytes.data(), length, text.data());
            CHECK(text == expected.substr(0, 2 * length));
        }
    }
    std::string fastest(2 * bytes.size(), '#');
    encodeHex(bytes.data(), bytes.size(), fastest.data());
    CHECK(fastest == expected);
}
