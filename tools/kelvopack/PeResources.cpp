#include "PeResources.h"

#include "File.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr size_t kResourceDirectory = 2;
constexpr size_t kSectionEntry = 40;
constexpr uint16_t kMaxSections = 96;  // the loader's own limit
constexpr uint32_t kHighBit = 0x80000000u;

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

// The entries of one directory of the tree.
struct Entry {
    uint32_t id;
    uint32_t target;
};

}  // namespace

bool PeResources::Place(uint32_t rva, uint32_t size, uint64_t* offset) const
{
    for (const Section& s : sections_) {
        const uint64_t inside = static_cast<uint64_t>(rva) - s.virtualAddress;
        if (rva < s.virtualAddress || inside >= s.rawSize || inside + size > s.rawSize)
            continue;
        *offset = s.rawOffset + inside;
        return *offset + size <= fileSize_;
    }
    return false;
}

bool PeResources::Read(File& file, uint64_t fileSize)
{
    *this = PeResources();
    fileSize_ = fileSize;
    uint8_t dos[64];
    if (fileSize < sizeof dos || !ReadAt(file, 0, dos, sizeof dos) || dos[0] != 'M' || dos[1] != 'Z')
        return false;
    const uint64_t pe = Le32(dos + 0x3C);
    uint8_t head[4 + 20 + 240] = {};
    if (pe + 24 > fileSize)
        return false;
    const size_t headSize = static_cast<size_t>(fileSize - pe < sizeof head ? fileSize - pe : sizeof head);
    if (!ReadAt(file, pe, head, headSize) || std::memcmp(head, "PE\0\0", 4) != 0)
        return false;
    const uint16_t sectionCount = Le16(head + 4 + 2);
    const uint16_t optionalSize = Le16(head + 4 + 16);
    const uint8_t* opt = head + 24;
    const size_t available = headSize - 24;
    if (sectionCount > kMaxSections || optionalSize < 2 || available < 2)
        return false;
    const uint16_t magic = Le16(opt);
    const size_t countAt = magic == 0x10B ? 92 : magic == 0x20B ? 108 : 0;
    const size_t entryAt = countAt + 4 + 8 * kResourceDirectory;
    if (countAt == 0 || optionalSize < entryAt + 8 || available < entryAt + 8 ||
        Le32(opt + countAt) <= kResourceDirectory)
        return false;
    const uint32_t treeRva = Le32(opt + entryAt);
    treeSize_ = Le32(opt + entryAt + 4);

    const uint64_t table = pe + 24 + optionalSize;
    std::vector<uint8_t> entries(kSectionEntry * sectionCount);
    if (table + entries.size() > fileSize || (sectionCount > 0 && !ReadAt(file, table, entries.data(), entries.size())))
        return false;
    for (uint16_t i = 0; i < sectionCount; ++i) {
        const uint8_t* s = entries.data() + kSectionEntry * i;
        sections_.push_back({Le32(s + 12), Le32(s + 16), Le32(s + 20)});
    }
    if (treeRva == 0 || treeSize_ < 16 || !Place(treeRva, treeSize_, &treeOffset_))
        return false;
    return ReadTree(file);
}

bool PeResources::ReadTree(File& file)
{
    // The entries of the directory at `at` (from the tree's start); a tree
    // that lists more entries than any setup program has is read no further.
    size_t visited = 0;
    const auto directory = [&](uint32_t at, std::vector<Entry>* out) {
        uint8_t header[16];
        if (static_cast<uint64_t>(at) + sizeof header > treeSize_ ||
            !ReadAt(file, treeOffset_ + at, header, sizeof header))
            return false;
        const uint32_t count = static_cast<uint32_t>(Le16(header + 12)) + Le16(header + 14);
        visited += count;
        if (static_cast<uint64_t>(at) + 16 + 8ull * count > treeSize_ || visited > 4 * kMaxResources)
            return false;
        std::vector<uint8_t> bytes(8ull * count);
        if (count > 0 && !ReadAt(file, treeOffset_ + at + 16, bytes.data(), bytes.size()))
            return false;
        out->clear();
        for (size_t k = 0; k < count; ++k)
            out->push_back({Le32(bytes.data() + 8 * k), Le32(bytes.data() + 8 * k + 4)});
        return true;
    };
    const auto name = [&](uint32_t at, std::string* out) {
        uint8_t length[2];
        if (static_cast<uint64_t>(at) + 2 > treeSize_ || !ReadAt(file, treeOffset_ + at, length, 2))
            return false;
        const uint32_t units = Le16(length);
        if (static_cast<uint64_t>(at) + 2 + 2ull * units > treeSize_)
            return false;
        std::vector<uint8_t> text(2ull * units);
        if (units > 0 && !ReadAt(file, treeOffset_ + at + 2, text.data(), text.size()))
            return false;
        out->clear();
        for (size_t k = 0; k < units; ++k) {
            const uint16_t unit = Le16(text.data() + 2 * k);
            *out += unit >= 0x20 && unit < 0x7F ? static_cast<char>(unit) : '?';
        }
        return true;
    };

    std::vector<Entry> types;
    if (!directory(0, &types))
        return false;
    std::vector<Entry> names;
    std::vector<Entry> languages;
    for (const Entry& type : types) {
        // Named types are no standard resource; a leaf at this level is no tree.
        if ((type.id & kHighBit) != 0 || (type.target & kHighBit) == 0 || !directory(type.target & ~kHighBit, &names))
            continue;
        for (const Entry& entry : names) {
            Resource r;
            r.type = type.id;
            if ((entry.id & kHighBit) != 0) {
                if (!name(entry.id & ~kHighBit, &r.name))
                    continue;
            } else {
                r.id = entry.id;
            }
            uint32_t leaf = entry.target;
            if ((leaf & kHighBit) != 0) {
                if (!directory(leaf & ~kHighBit, &languages) || languages.empty() ||
                    (languages[0].target & kHighBit) != 0)
                    continue;
                leaf = languages[0].target;
            }
            uint8_t data[16];
            if (static_cast<uint64_t>(leaf) + sizeof data > treeSize_ ||
                !ReadAt(file, treeOffset_ + leaf, data, sizeof data))
                continue;
            r.size = Le32(data + 4);
            if (!Place(Le32(data), r.size, &r.offset))
                continue;
            resources_.push_back(r);
            if (resources_.size() == kMaxResources)
                return true;
        }
    }
    return true;
}

const PeResources::Resource* PeResources::Find(uint32_t type, uint32_t id) const
{
    for (const Resource& r : resources_) {
        if (r.type == type && r.name.empty() && r.id == id)
            return &r;
    }
    return nullptr;
}

const PeResources::Resource* PeResources::Find(uint32_t type, const std::string& name) const
{
    for (const Resource& r : resources_) {
        if (r.type == type && !r.name.empty() && r.name == name)
            return &r;
    }
    return nullptr;
}
