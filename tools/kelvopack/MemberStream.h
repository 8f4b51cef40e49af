// Decodes the members of a setup one after another. The members lie back to
// back, so reading the package front to back in large blocks, with one
// decoder for all of them, costs neither a seek nor an allocation per
// member: this is what verify and extract use for setups of many small
// files. Every range is checked against the package's end first.
#pragma once

#include "File.h"
#include "LzssDecoder.h"
#include "PackageReader.h"

#include <cstdint>
#include <string>
#include <vector>

class MemberStream {
public:
    // Reads in blocks of `blockSize` bytes (at least 4).
    explicit MemberStream(size_t blockSize = size_t(1) << 20);

    // `end` is where the package ends; nothing at or behind it is read.
    bool Open(const std::string& path, uint64_t end, std::string* error);

    // Decodes the `size` bytes at `start` into the sink. False, with the
    // reason, when they lie outside the package or cannot be read; false
    // with an empty reason when the sink refused the data.
    bool Decode(uint64_t start, uint32_t size, LzssDecoder::Sink& sink, PackageReader::Decoded* result,
                std::string* error);

private:
    // Makes the buffer begin at `at` and hold as much as fits before the end.
    bool Refill(uint64_t at);

    std::string path_;
    File file_;
    uint64_t end_ = 0;
    std::vector<uint8_t> buffer_;
    uint64_t bufferAt_ = 0;  // file offset of buffer_[0]
    size_t held_ = 0;        // bytes of buffer_ in use
    uint64_t filePos_ = 0;   // where the next read of file_ starts
    LzssDecoder decoder_;
};
