// Reads and checks a package without ever ending the program: the tools
// read setups with it, and the setup program's TApend reads through it. Every
// offset is checked against the file before it is used. The package is read
// in large blocks with one decoder for all members, so that members lying
// back to back cost neither a seek nor an allocation each.
#pragma once

#include "LzssDecoder.h"
#include "ProgressHook.h"
#include "SetupLayout.h"

#include "File.h"
#include "Status.h"

#include <cstdint>
#include <string>
#include <vector>

class PackageReader {
public:
    // What decoding one member found.
    struct Decoded {
        uint64_t bytesOut = 0;  // decompressed bytes
        uint64_t bytesIn = 0;   // compressed bytes consumed by whole items
    };
    // For ExtractTo: any decoded size will do.
    static constexpr uint64_t kAnySize = UINT64_MAX;

    // Reads in blocks of `blockSize` bytes (at least 4; no more than the file).
    explicit PackageReader(size_t blockSize = size_t(1) << 20);

    // Opens the file and finds the package's bounds, without reading the
    // trailer: a failure (kUnreadable) when the file cannot be read.
    Status OpenFile(const char* path);
    // The one reading of the trailer, the script's size: a failure
    // (kDamaged) when the package cannot hold a trailer or the script it
    // gives, kUnreadable when it cannot be read.
    Status ReadTrailer();
    // OpenFile, then ReadTrailer.
    Status Open(const char* path);

    uint64_t FileSize() const { return fileSize_; }
    uint64_t End() const { return end_; }            // package end (see PackageBounds)
    uint64_t ImageEnd() const { return imageEnd_; }  // 0 when the file is no PE image
    uint32_t ScriptSize() const { return scriptSize_; }
    uint64_t ScriptStart() const { return end_ - layout::kTrailerSize - scriptSize_; }
    layout::PackageBounds Bounds() const { return {imageEnd_, end_}; }

    // `size` bytes of the package at `at`; false when they lie beyond its
    // end or cannot be read.
    bool ReadAt(uint64_t at, void* out, size_t size);

    // The decompressed setup script (kDamaged when it cannot be).
    Status ReadScript(std::vector<uint8_t>* text);

    // Decodes `size` compressed bytes at `start` into the sink, telling the
    // hook (if any) after every block. A failure when they lie outside the
    // package (kDamaged) or cannot be read (kUnreadable), or when the sink
    // refused the data (kCannotWrite); Canceled when the hook asked to stop.
    Status Decode(uint64_t start, uint32_t size, LzssDecoder::Sink& sink, Decoded* result,
                  ProgressHook* hook = nullptr);

    // The one extraction of a member into a file: decodes it into `target`
    // (created, or emptied), which must come out with `original` bytes
    // unless that is kAnySize. *written (if given) receives the bytes
    // decoded, also on failure. Nothing is left behind on a failure:
    // kCannotCreate, kCannotWrite, kDamaged (the member ends inside an item
    // or decodes to another size), Decode's own; or when Canceled.
    Status ExtractTo(uint64_t start, uint32_t size, uint64_t original, const char* target, ProgressHook* hook = nullptr,
                     uint64_t* written = nullptr);

private:
    // Makes the buffer begin at `at` and hold as much as fits before the end.
    bool Refill(uint64_t at);
    Status Failure(Fault fault, const std::string& text) const;

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
