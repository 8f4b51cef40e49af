// The smallest PE image the package code must recognise: headers and one
// section of raw data, made by hand so that the tests need no toolchain.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
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
    Put16(b, coff, 0x14C);  // i386
    Put16(b, coff + 2, 1);  // one section
    Put16(b, coff + 16, kOptionalSize);
    const size_t opt = coff + 20;
    Put16(b, opt, 0x10B);    // PE32
    Put16(b, opt + 68, 2);   // GUI subsystem
    Put32(b, opt + 92, 16);  // data directories
    const size_t section = opt + kOptionalSize;
    Put32(b, section + 16, rawSize);  // SizeOfRawData
    Put32(b, section + 20, 0x200);    // PointerToRawData
    return b;
}

// An image that passes for the setup program: one section at virtual
// address 0x1000 holding a resource tree with the setup's three dialogs
// ("IDD_PROGRESS", 6, 32253; empty templates) and a manifest that asks for
// `level` ("asInvoker", "requireAdministrator" or none). `dialogs` false
// leaves "IDD_PROGRESS" out: any other program.
inline std::vector<uint8_t> SetupProgram(const std::string& level = "asInvoker", bool dialogs = true)
{
    const std::string manifest = level.empty()
                                     ? "<assembly/>"
                                     : "<requestedExecutionLevel level=\"" + level + "\" uiAccess=\"false\"/>";
    const uint32_t rva = 0x1000;
    const uint32_t textAt = 300;  // the dialogs' bytes, then the manifest's
    std::vector<uint8_t> tree(textAt + 16 + manifest.size(), 0);
    const auto entry = [&tree](size_t at, uint32_t id, uint32_t target) {
        Put32(tree, at, id);
        Put32(tree, at + 4, target);
    };
    const auto directory = [&tree](size_t at, uint16_t named, uint16_t ids) {
        Put16(tree, at + 12, named);
        Put16(tree, at + 14, ids);
    };
    const uint32_t subdirectory = 0x80000000u;
    directory(0, 0, 2);  // types: dialogs, manifests
    entry(16, 5, subdirectory | 32);
    entry(24, 24, subdirectory | 72);
    directory(32, dialogs ? 1 : 0, 2);
    size_t at = 48;
    if (dialogs) {
        entry(at, subdirectory | 256, subdirectory | 96);  // "IDD_PROGRESS"
        at += 8;
    }
    entry(at, 6, subdirectory | 120);
    entry(at + 8, 32253, subdirectory | 144);
    directory(72, 0, 1);
    entry(88, 1, subdirectory | 168);
    for (uint32_t k = 0; k < 4; ++k) {  // one language each, then its data entry
        directory(96 + 24 * k, 0, 1);
        entry(96 + 24 * k + 16, 1033, 192 + 16 * k);
        const bool isManifest = k == 3;
        Put32(tree, 192 + 16 * k, rva + textAt + (isManifest ? 16 : 0));
        Put32(tree, 192 + 16 * k + 4, isManifest ? static_cast<uint32_t>(manifest.size()) : 16);
    }
    const std::string name = "IDD_PROGRESS";
    Put16(tree, 256, static_cast<uint32_t>(name.size()));
    for (size_t k = 0; k < name.size(); ++k)
        Put16(tree, 258 + 2 * k, static_cast<uint8_t>(name[k]));
    std::copy(manifest.begin(), manifest.end(), tree.begin() + textAt + 16);

    const uint32_t rawSize = (static_cast<uint32_t>(tree.size()) + 0x1FF) / 0x200 * 0x200;
    std::vector<uint8_t> b = Image(rawSize);
    const size_t opt = kPeOffset + 24;
    Put32(b, opt + 96 + 8 * 2, rva);  // the resource directory
    Put32(b, opt + 96 + 8 * 2 + 4, static_cast<uint32_t>(tree.size()));
    Put32(b, opt + kOptionalSize + 12, rva);  // the section's virtual address
    std::copy(tree.begin(), tree.end(), b.begin() + 0x200);
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
