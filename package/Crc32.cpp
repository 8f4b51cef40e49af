#include "Crc32.h"

#include <array>
#include <memory>

namespace {

using Tables = std::array<std::array<uint32_t, 256>, 16>;

// Table k gives the CRC of a byte followed by k zero bytes. Made on first
// use, on the heap: 16 KB less in the setup program's file than a table made
// at compile time (or a static one, which its compiler places in .data).
std::unique_ptr<const Tables> MakeTables()
{
    auto made = std::make_unique<Tables>();
    Tables& t = *made;
    for (uint32_t b = 0; b < 256; ++b) {
        uint32_t c = b;
        for (int bit = 0; bit < 8; ++bit)
            c = (c & 1) != 0 ? (c >> 1) ^ 0xEDB88320u : c >> 1;
        t[0][b] = c;
    }
    for (size_t k = 1; k < 16; ++k) {
        for (size_t b = 0; b < 256; ++b)
            t[k][b] = (t[k - 1][b] >> 8) ^ t[0][t[k - 1][b] & 0xFF];
    }
    return made;
}

const Tables& TheTables()
{
    static const std::unique_ptr<const Tables> tables = MakeTables();
    return *tables;
}

}  // namespace

uint32_t Crc32(const void* data, size_t size, uint32_t crc)
{
    const Tables& tables = TheTables();
    const auto* p = static_cast<const uint8_t*>(data);
    const uint8_t* const end = p + size;
    crc = ~crc;
    // Sixteen bytes at a time, read byte by byte so that any alignment and
    // either byte order give the same result.
    while (end - p >= 16) {
        const uint32_t low = crc ^ (static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
                                    static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24);
        crc = tables[15][low & 0xFF] ^ tables[14][(low >> 8) & 0xFF] ^ tables[13][(low >> 16) & 0xFF] ^
              tables[12][low >> 24] ^ tables[11][p[4]] ^ tables[10][p[5]] ^ tables[9][p[6]] ^ tables[8][p[7]] ^
              tables[7][p[8]] ^ tables[6][p[9]] ^ tables[5][p[10]] ^ tables[4][p[11]] ^ tables[3][p[12]] ^
              tables[2][p[13]] ^ tables[1][p[14]] ^ tables[0][p[15]];
        p += 16;
    }
    while (p != end)
        crc = (crc >> 8) ^ tables[0][(crc ^ *p++) & 0xFF];
    return ~crc;
}
