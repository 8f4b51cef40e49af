#include "PeImage.h"

#include "File.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

uint16_t Le16(const uint8_t* p)
{
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

uint32_t Le32(const uint8_t* p)
{
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
           (static_cast<uint32_t>(p[3]) << 24);
}

bool ReadAt(File& file, uint64_t offset, void* buffer, size_t size)
{
    return file.Seek(static_cast<int64_t>(offset), SEEK_SET) && file.Read(buffer, size) == size;
}

constexpr size_t kSecurityDirectory = 4;
constexpr size_t kSectionEntry = 40;
constexpr uint16_t kMaxSections = 96;  // the loader's own limit

}  // namespace

bool PeImage::Read(File& file, uint64_t fileSize)
{
    *this = PeImage();
    uint8_t dos[64];
    if (fileSize < sizeof dos || !ReadAt(file, 0, dos, sizeof dos) || dos[0] != 'M' || dos[1] != 'Z')
        return false;
    const uint64_t pe = Le32(dos + 0x3C);
    // Signature, COFF header, and the optional header up to its directories.
    uint8_t head[4 + 20 + 240];
    if (pe + 4 + 20 > fileSize)
        return false;
    const size_t headSize = static_cast<size_t>(std::min<uint64_t>(sizeof head, fileSize - pe));
    if (!ReadAt(file, pe, head, headSize) || std::memcmp(head, "PE\0\0", 4) != 0)
        return false;
    const uint8_t* coff = head + 4;
    const uint16_t sections = Le16(coff + 2);
    const uint16_t optionalSize = Le16(coff + 16);
    const uint8_t* opt = coff + 20;
    const size_t optAvailable = headSize - 24;
    if (sections > kMaxSections || optionalSize < 2 || optAvailable < 2)
        return false;
    const uint16_t magic = Le16(opt);
    size_t countAt;
    if (magic == 0x10B)
        countAt = 92;
    else if (magic == 0x20B)
        countAt = 108;
    else
        return false;
    const size_t dirsAt = countAt + 4;
    if (optionalSize < dirsAt || optAvailable < dirsAt)
        return false;
    machine_ = Le16(coff);
    subsystem_ = Le16(opt + 68);
    const uint32_t dirCount = Le32(opt + countAt);
    const size_t securityAt = dirsAt + size_t(8) * kSecurityDirectory;
    if (dirCount > kSecurityDirectory && optionalSize >= securityAt + 8 && optAvailable >= securityAt + 8) {
        certOffset_ = Le32(opt + securityAt);
        certSize_ = Le32(opt + securityAt + 4);
    }
    // Section table: where the image's raw data ends.
    const uint64_t table = pe + 24 + optionalSize;
    if (table + kSectionEntry * sections > fileSize)
        return false;
    std::vector<uint8_t> entries(kSectionEntry * sections);
    if (sections > 0 && !ReadAt(file, table, entries.data(), entries.size()))
        return false;
    uint64_t end = table + entries.size();
    for (uint16_t i = 0; i < sections; ++i) {
        const uint8_t* s = entries.data() + kSectionEntry * i;
        const uint64_t rawSize = Le32(s + 16);
        const uint64_t rawPointer = Le32(s + 20);
        if (rawSize > 0 && rawPointer + rawSize > end)
            end = rawPointer + rawSize;
    }
    imageEnd_ = end;
    valid_ = true;
    return true;
}
