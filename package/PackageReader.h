// Reads and checks a package without ever ending the program: the side that
// tools use to inspect setups (the setup program itself uses TApend). Every
// offset is checked against the file before it is used. The package is read
// in large blocks with one decoder for all members, so that members lying
// back to back cost neither a seek nor an allocation each.
#pragma once

#include "LzssDecoder.h"
#include "ProgressHook.h"
#include "SetupLayout.h"

#include "File.h"

#include <cstdint>
#include <string>
#include <vector>

class PackageReader {
public:
    // What decoding one member found.
    struct Decoded {
        uint64_t bytesOut = 0;     // decompressed bytes
        uint64_t bytesIn = 0;      // compressed bytes consumed by whole items
        bool canceled = false;     // the progress hook asked to stop
    };

    // Reads in blocks of `blockSize` bytes (at least 4; no more than the file).
    explicit PackageReader(size_t blockSize = size_t(1) << 20);

    // Opens the file and finds the package's bounds, without reading the
    // trailer. False, with the reason, when the file cannot be read.
    bool OpenFile(const char* path, std::string* error);
    // OpenFile, then the trailer. False, with a message naming the problem,
    // when the file cannot be read or holds no plausible package.
    bool Open(const char* path, std::string* error);

    uint64_t FileSize() const { return fileSize_; }
    uint64_t End() const { return end_; }              // package end (see PackageBounds)
    uint64_t ImageEnd() const { return imageEnd_; }    // 0 when the file is no PE image
    uint32_t ScriptSize() const { return scriptSize_; }
    uint64_t ScriptStart() const { return end_ - layout::kTrailerSize - scriptSize_; }
    layout::PackageBounds Bounds() const { return {imageEnd_, end_}; }

    // `size` bytes of the package at `at`; false when they lie beyond its
    // end or cannot be read.
    bool ReadAt(uint64_t at, void* out, size_t size);

    // The decompressed setup script.
    bool ReadScript(std::vector<uint8_t>* text, std::string* error);

    // Start of each member, from the compressed sizes in record order. False
    // when a member would begin in front of the file's start.
    bool Locate(const std::vector<uint32_t>& sizes, std::vector<uint64_t>* starts,
                std::string* error) const;

    // Decodes `size` compressed bytes at `start` into the sink, telling the
    // hook (if any) after every block. False, with the reason, when they lie
    // outside the package or cannot be read; false with an empty reason when
    // the sink refused the data or the hook asked to stop (result->canceled).
    bool Decode(uint64_t start, uint32_t size, LzssDecoder::Sink& sink, Decoded* result,
                std::string* error, ProgressHook* hook = nullptr);

private:
    // Makes the buffer begin at `at` and hold as much as fits before the end.
    bool Refill(uint64_t at);

    size_t blockSize_;
    File file_;
    std::string path_;
    uint64_t fileSize_ = 0;
    uint64_t end_ = 0;
    uint64_t imageEnd_ = 0;
    uint32_t scriptSize_ = 0;
    std::vector<uint8_t> buffer_;
    uint64_t bufferAt_ = 0;  // file offset of buffer_[0]
    size_t held_ = 0;        // bytes of buffer_ in use
    uint64_t filePos_ = 0;   // where the next read of file_ starts
    LzssDecoder decoder_;
};
