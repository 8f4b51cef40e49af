#include "PeImage.h"

#include "File.h"
#include "LittleEndian.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

constexpr size_t kSecurityDirectory = 4;
constexpr size_t kSectionEntry = 40;
constexpr uint16_t kMaxSections = 96;  // the loader's own limit

}  // namespace

bool PeImage::Read(File& file, uint64_t fileSize)
{
    *this = PeImage();
    uint8_t dos[64];
    if (fileSize < sizeof dos || !file.ReadAt(0, dos, sizeof dos) || dos[0] != 'M' || dos[1] != 'Z')
        return false;
    const uint64_t pe = Le32(dos + 0x3C);
    // Signature, COFF header, and the optional header up to its directories.
    uint8_t head[4 + 20 + 240];
    if (pe + 4 + 20 > fileSize)
        return false;
    const size_t headSize = static_cast<size_t>(std::min<uint64_t>(sizeof head, fileSize - pe));
    if (!file.ReadAt(pe, head, headSize) || std::memcmp(head, "PE\0\0", 4) != 0)
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
    // The directories the headers list and hold whole.
    const uint32_t listed = Le32(opt + countAt);
    while (directoryCount_ < kMaxDirectories && directoryCount_ < listed) {
        const size_t at = dirsAt + size_t(8) * directoryCount_;
        if (optionalSize < at + 8 || optAvailable < at + 8)
            break;
        directories_[directoryCount_][0] = Le32(opt + at);
        directories_[directoryCount_][1] = Le32(opt + at + 4);
        ++directoryCount_;
    }
    if (directoryCount_ > kSecurityDirectory) {
        certOffset_ = directories_[kSecurityDirectory][0];
        certSize_ = directories_[kSecurityDirectory][1];
    }
    // Section table: where the image's raw data ends.
    const uint64_t table = pe + 24 + optionalSize;
    if (table + kSectionEntry * sections > fileSize)
        return false;
    std::vector<uint8_t> entries(kSectionEntry * sections);
    if (sections > 0 && !file.ReadAt(table, entries.data(), entries.size()))
        return false;
    uint64_t end = table + entries.size();
    for (uint16_t i = 0; i < sections; ++i) {
        const uint8_t* s = entries.data() + kSectionEntry * i;
        const Section section = {Le32(s + 12), Le32(s + 16), Le32(s + 20)};
        sections_.push_back(section);
        if (section.rawSize > 0 && uint64_t(section.rawOffset) + section.rawSize > end)
            end = uint64_t(section.rawOffset) + section.rawSize;
    }
    imageEnd_ = end;
    valid_ = true;
    return true;
}

bool PeImage::Directory(size_t index, uint32_t* address, uint32_t* size) const
{
    if (index >= directoryCount_)
        return false;
    *address = directories_[index][0];
    *size = directories_[index][1];
    return true;
}
