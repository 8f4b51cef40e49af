// The resources of a Windows executable, read from its file: which ones it
// holds, by type and by id or name, and where each one's bytes lie.
//
//   optional header  data directory 2: the resource tree's RVA and size
//   section table    40 bytes a section: virtual size u32 at 8, virtual
//                    address u32 at 12, raw size u32 at 16, raw offset u32
//                    at 20; an RVA lies in the section that covers it
//   directory        16 bytes, the count of named entries u16 at 12 and of
//                    numbered ones u16 at 14, then the entries of 8 bytes:
//                    id u32 (high bit set: the offset of a u16 length and
//                    as many UTF-16 units of a name), then the offset u32
//                    of a subdirectory (high bit set) or of a data entry;
//                    offsets count from the tree's start
//   levels           type, then id or name, then language
//   data entry       RVA u32, size u32, code page u32, reserved u32
//
// Safety promise: nothing is read outside the file or the resource tree as
// its header gives it; every offset is checked before it is used, and at
// most kMaxResources resources are taken, from at most four times as many
// directory entries.
#pragma once

#include "PeImage.h"

#include <cstdint>
#include <string>
#include <vector>

class File;

class PeResources {
public:
    static constexpr size_t kMaxResources = 4096;

    // One resource, in its first language.
    struct Resource {
        uint32_t type = 0;    // RT_DIALOG 5, RT_MANIFEST 24, ...
        uint32_t id = 0;      // 0 when named
        std::string name;     // a named resource's name (ASCII; "?" for other characters)
        uint64_t offset = 0;  // of its bytes in the file
        uint32_t size = 0;
    };

    // Reads the tree of an open file of `fileSize` bytes. False when the
    // file is no PE image, has no resources, or its tree leaves the file.
    bool Read(File& file, uint64_t fileSize);

    const std::vector<Resource>& All() const { return resources_; }
    const Resource* Find(uint32_t type, uint32_t id) const;
    const Resource* Find(uint32_t type, const std::string& name) const;

private:
    // The file offset of `size` bytes at `rva`; false when they do not lie
    // in one section's raw data.
    bool Place(uint32_t rva, uint32_t size, uint64_t* offset) const;
    bool ReadTree(File& file);

    uint64_t fileSize_ = 0;
    std::vector<PeImage::Section> sections_;
    uint64_t treeOffset_ = 0;
    uint32_t treeSize_ = 0;
    std::vector<Resource> resources_;
};
