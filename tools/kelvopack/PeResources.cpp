#include "PeResources.h"

#include "File.h"
#include "LittleEndian.h"
#include "PeImage.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr size_t kResourceDirectory = 2;
constexpr uint32_t kHighBit = 0x80000000u;

// The entries of one directory of the tree.
struct Entry {
    uint32_t id;
    uint32_t target;
};

}  // namespace

bool PeResources::Place(uint32_t rva, uint32_t size, uint64_t* offset) const
{
    for (const PeImage::Section& s : sections_) {
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
    PeImage image;
    uint32_t treeRva = 0;
    if (!image.Read(file, fileSize) || !image.Directory(kResourceDirectory, &treeRva, &treeSize_))
        return false;
    sections_ = image.Sections();
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
            !file.ReadAt(treeOffset_ + at, header, sizeof header))
            return false;
        const uint32_t count = static_cast<uint32_t>(Le16(header + 12)) + Le16(header + 14);
        visited += count;
        if (static_cast<uint64_t>(at) + 16 + 8ull * count > treeSize_ || visited > 4 * kMaxResources)
            return false;
        std::vector<uint8_t> bytes(8ull * count);
        if (count > 0 && !file.ReadAt(treeOffset_ + at + 16, bytes.data(), bytes.size()))
            return false;
        out->clear();
        for (size_t k = 0; k < count; ++k)
            out->push_back({Le32(bytes.data() + 8 * k), Le32(bytes.data() + 8 * k + 4)});
        return true;
    };
    const auto name = [&](uint32_t at, std::string* out) {
        uint8_t length[2];
        if (static_cast<uint64_t>(at) + 2 > treeSize_ || !file.ReadAt(treeOffset_ + at, length, 2))
            return false;
        const uint32_t units = Le16(length);
        if (static_cast<uint64_t>(at) + 2 + 2ull * units > treeSize_)
            return false;
        std::vector<uint8_t> text(2ull * units);
        if (units > 0 && !file.ReadAt(treeOffset_ + at + 2, text.data(), text.size()))
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
                !file.ReadAt(treeOffset_ + leaf, data, sizeof data))
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
