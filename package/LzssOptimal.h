// The LZSS compressor that parses optimally: the same stream format, read
// unchanged by every decoder, at the smallest size the format allows.
//
// Within the format a literal costs 9 bits (its byte and its flag bit) and a
// reference 17, whatever its length and position; a stream's size is the sum
// of its items' bits, rounded up to whole bytes. So the smallest stream is
// the cheapest path through the input, where every position leads on by a
// literal, or by a reference of any length from 3 up to the longest match
// there. The encoder finds the longest match at every position with a
// binary tree over the whole ring (the initial blanks, and references that
// run into the bytes they produce, included), and the cheapest path by
// dynamic programming over blocks of positions.
//
// Blocks bound the memory whatever the input's size. A block ends on an item
// boundary of the plain coder's parse (LzssEncoder), so the path chosen for
// each block costs no more than the plain coder's items over the same bytes:
// the stream is never larger than LzssEncoder's. All state lives in the
// object (no globals): encoders may run side by side.
#pragma once

#include "Lzss.h"

#include <cstddef>
#include <cstdint>
#include <vector>

class LzssOptimal {
public:
    // blockSize: positions parsed at once (at least 64). The memory taken
    // grows with it (about 12 bytes a position, beside 256 KB of trees);
    // the end of each block may cost the stream a few bits.
    explicit LzssOptimal(size_t blockSize = size_t(1) << 16);
    LzssOptimal(const LzssOptimal&) = delete;
    LzssOptimal& operator=(const LzssOptimal&) = delete;

    // Back to a fresh state for a new stream.
    void Reset();

    // Compresses from src into dst; `last` says that src ends the input.
    // Takes what input it has room for and fills dst to its last byte; pass
    // the rest of the input again, followed by more, and give more room
    // until Finished(). Stores the bytes consumed in *consumed and returns
    // the bytes written.
    size_t Encode(const uint8_t* src, size_t srcSize, bool last, uint8_t* dst, size_t dstCapacity, size_t* consumed);

    // True once a `last` call has written the end of the stream.
    bool Finished() const { return phase_ == Phase::kFinished; }
    uint64_t BytesIn() const { return filled_ - kOrigin; }
    uint64_t BytesOut() const { return codeSize_; }

private:
    enum class Phase { kParsing, kDraining, kFinished };
    // The longest match at a position, over the whole ring and over the
    // part of it that the plain coder's trees hold.
    struct Match {
        unsigned length;
        unsigned distance;
        unsigned plainLength;
    };

    static constexpr unsigned kRingSize = lzss::kRingSize;
    static constexpr unsigned kMaxMatch = lzss::kMaxMatch;
    // Positions are counted from kOrigin, so that 0 means "no node": it lies
    // farther back than any node in the ring.
    static constexpr uint64_t kOrigin = uint64_t(2) * kRingSize;
    static constexpr uint64_t kNil = 0;
    // Tree links by position modulo kSlots: every node of the ring has its own.
    static constexpr unsigned kSlots = 2 * kRingSize;
    static constexpr unsigned kHashBits = 14;

    void Take(const uint8_t*& ip, const uint8_t* iend, bool last);
    bool Parse();
    Match Insert(uint64_t p);
    void Weigh(uint64_t p);
    void Relax(size_t k);
    void Cut(uint64_t end);
    void Put(size_t k);
    void CloseGroup();
    uint8_t* Drain(uint8_t* op, uint8_t* oend);
    const uint8_t* At(uint64_t p) const { return buf_.data() + (p - bufBase_); }

    size_t block_;
    Phase phase_ = Phase::kParsing;

    // Input, with the initial ring in front of it. buf_[0] holds position
    // bufBase_; kMaxMatch zeros follow the end of the input, once known.
    std::vector<uint8_t> buf_;
    uint64_t bufBase_ = 0;
    uint64_t filled_ = kOrigin;  // one past the last input byte taken
    uint64_t end_ = 0;           // the input's end, once endKnown_
    bool endKnown_ = false;
    bool primed_ = false;  // the initial ring's strings are in the trees

    // Binary trees of the ring's strings, one per hash of a string's first
    // three bytes: sorted by the strings' 18 bytes, and every node newer
    // than the nodes below it, so that a walk down meets nearer strings
    // first and the tree's root is its newest string.
    std::vector<uint64_t> head_;
    std::vector<uint64_t> kid_;  // kid_[2 * slot] smaller, kid_[2 * slot + 1] greater

    // The block being parsed: positions blockStart_ to next_ - 1 are
    // weighed; index k below stands for position blockStart_ + k.
    uint64_t blockStart_ = kOrigin;
    uint64_t next_ = kOrigin;
    std::vector<uint32_t> cost_;    // bits of the cheapest path to k
    std::vector<uint8_t> step_;     // length of the last item on that path
    std::vector<uint8_t> length_;   // longest reference from k (0: none)
    std::vector<uint16_t> source_;  // its ring position
    std::vector<uint8_t> choice_;   // length of the item chosen at k
    // The plain coder's parse: its latest item boundary among the positions
    // weighed and the one after it.
    uint64_t plainAt_ = kOrigin;
    uint64_t plainNext_ = kOrigin;

    // Output: complete groups waiting for room, and the group being filled.
    std::vector<uint8_t> pending_;
    size_t sent_ = 0;
    uint8_t group_[lzss::kMaxGroupSize];
    size_t groupSize_ = 1;
    uint8_t mask_ = 1;
    uint64_t codeSize_ = 0;
};

namespace lzss {

// Compress, parsed optimally: the same promise and the same bound, and
// never a larger result than Compress gives.
size_t CompressBest(const void* src, size_t srcSize, void* dst, size_t dstCapacity);

}  // namespace lzss
