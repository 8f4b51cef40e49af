// The few facts of a Windows executable's headers that the package needs:
// where the image's own sections end, and where a signer put the
// certificate table. Files that are no PE image simply have neither.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

class File;

class PeImage {
public:
    // Reads the headers of an open file of `fileSize` bytes. False when the
    // file is no PE image (or its headers are cut short).
    bool Read(File& file, uint64_t fileSize);

    bool Valid() const { return valid_; }
    uint16_t Machine() const { return machine_; }      // 0x14c i386, 0x8664 x86-64
    uint16_t Subsystem() const { return subsystem_; }  // 2 GUI, 3 console
    // End of the last section's raw data: where appended data may begin.
    uint64_t ImageEnd() const { return imageEnd_; }
    // The security directory: a file offset and size; 0 and 0 if unsigned.
    uint64_t CertificateOffset() const { return certOffset_; }
    uint64_t CertificateSize() const { return certSize_; }

    // Where a section's bytes lie in memory and in the file.
    struct Section {
        uint32_t virtualAddress;
        uint32_t rawSize;
        uint32_t rawOffset;
    };
    const std::vector<Section>& Sections() const { return sections_; }
    // The data directory `index` (4 certificates, 2 resources, ...); false
    // when the headers list fewer.
    bool Directory(size_t index, uint32_t* address, uint32_t* size) const;

private:
    bool valid_ = false;
    uint16_t machine_ = 0;
    uint16_t subsystem_ = 0;
    uint64_t imageEnd_ = 0;
    uint64_t certOffset_ = 0;
    uint64_t certSize_ = 0;
    static constexpr size_t kMaxDirectories = 16;  // the format's own count
    uint32_t directories_[kMaxDirectories][2] = {};
    size_t directoryCount_ = 0;
    std::vector<Section> sections_;
};
