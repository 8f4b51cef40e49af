// Compresses the members of a package on several threads and appends them
// to the output in record order. Each member is an independent stream, so
// each worker takes the next member and compresses it whole; the caller's
// thread writes. The member at the head of the order streams straight
// through; the others wait once their finished-but-unwritten output
// reaches the memory budget, so memory stays bounded whatever the sizes.
#pragma once

#include "StatIndex.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class File;
class MemberCache;
class Progress;
class ScriptPacker;

class MemberCompressor {
public:
    struct Member {
        std::string source;      // the file to compress
        uint64_t size = 0;       // its size when the project was checked
        StatIndex::Stamp stamp;  // its stamp then, when stamped; else taken anew
        bool stamped = false;
    };
    struct Sizes {
        uint32_t original = 0;
        uint32_t packed = 0;
        uint32_t crc = 0;  // CRC-32 of the packed bytes, for the integrity record
    };

    // threads: workers (at least 1); memoryBudget: bytes of compressed output
    // that may wait for the writer; best: parse optimally (LzssOptimal), a
    // smaller stream for more time, instead of the plain coder's bytes;
    // cache: where members compressed by an earlier build are kept (none
    // when null), whose bytes are the same as compressing them again;
    // index: the content hashes of source files whose stamps have not
    // changed, so that those files are not read to find their kept copy
    // (none when null), and where this build records what it hashed.
    MemberCompressor(unsigned threads, size_t memoryBudget, bool best = false, const MemberCache* cache = nullptr,
                     StatIndex* index = nullptr);

    // Appends every member, compressed, to `out`, in order. Throws ToolError
    // naming the file when a member cannot be read, changed since it was
    // measured, or compresses to more than 32-bit sizes hold. `script`, when
    // given, is told each member's compressed size as it is written and
    // works while the writer would wait, once a member had to be
    // compressed (a build that finds them all kept likely finds the
    // script kept too).
    std::vector<Sizes> Run(const std::vector<Member>& members, File& out, Progress& progress,
                           ScriptPacker* script = nullptr);

    // Bytes in memory (the script) compressed by the same coder, kept in
    // the cache as a member is; `script`, when it was told these bytes,
    // finishes what it began instead.
    std::vector<uint8_t> Pack(const std::vector<uint8_t>& bytes, ScriptPacker* script = nullptr) const;

private:
    unsigned threads_;
    size_t memoryBudget_;
    bool best_;
    const MemberCache* cache_;
    StatIndex* index_;
};
