// The smallest PE image the package code must recognise: headers and one
// section of raw data, made by hand so that the tests need no toolchain.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace fakepe {

constexpr size_t kPeOffset = 0x80;
constexpr size_t kOptionalSize = 224;  // PE32 optional header with 16 directories
constexpr size_t kSecurityEntry = kPeOffset + 24 + 96 + 8 * 4;

inline void Put16(std::vector<uint8_t>& b, size_t at, uint32_t v)
{
    b[at] = static_cast<uint8_t>(v);
    b[at + 1] = static_cast<uint8_t>(v >> 8);
}

inline void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v)
{
    Put16(b, at, v & 0xFFFF);
    Put16(b, at + 2, v >> 16);
}

// Headers, then `rawSize` bytes of section data at offset 0x200.
inline std::vector<uint8_t> Image(uint32_t rawSize = 0x200)
{
    std::vector<uint8_t> b(0x200 + rawSize, 0);
    b[0] = 'M';
    b[1] = 'Z';
    Put32(b, 0x3C, kPeOffset);
    b[kPeOffset] = 'P';
    b[kPeOffset + 1] = 'E';
    const size_t coff = kPeOffset + 4;
    Put16(b, coff, 0x14C);            // i386
    Put16(b, coff + 2, 1);            // one section
    Put16(b, coff + 16, kOptionalSize);
    const size_t opt = coff + 20;
    Put16(b, opt, 0x10B);             // PE32
    Put16(b, opt + 68, 2);            // GUI subsystem
    Put32(b, opt + 92, 16);           // data directories
    const size_t section = opt + kOptionalSize;
    Put32(b, section + 16, rawSize);  // SizeOfRawData
    Put32(b, section + 20, 0x200);    // PointerToRawData
    return b;
}

// Appends a certificate table of `size` bytes and points the header at it.
inline void Sign(std::vector<uint8_t>& b, uint32_t size)
{
    Put32(b, kSecurityEntry, static_cast<uint32_t>(b.size()));
    Put32(b, kSecurityEntry + 4, size);
    b.resize(b.size() + size, 0xCE);
}

}  // namespace fakepe
