// The LZSS compressor in streaming form. It finds matches with one binary
// search tree per first byte, exactly as the format's reference compressor
// does, so every input gives the very bytes that compressor gives. All state
// lives in the object (no globals): encoders may run side by side.
#pragma once

#include "Lzss.h"

#include <cstddef>
#include <cstdint>

class LzssEncoder {
public:
    // Called whenever the count of bytes read passes the next multiple of 1024.
    using ProgressFn = void (*)(void* context, uint64_t bytesRead);

    LzssEncoder();
    LzssEncoder(const LzssEncoder&) = delete;
    LzssEncoder& operator=(const LzssEncoder&) = delete;

    // Back to a fresh state for a new stream.
    void Reset();
    void SetProgress(ProgressFn fn, void* context);

    // Compresses from src into dst; `last` says that src ends the input. It
    // stops early when dst has less than kMaxGroupSize bytes of room, and may
    // then leave input unconsumed: pass it again, followed by more input.
    // Stores the bytes consumed in *consumed and returns the bytes written.
    size_t Encode(const uint8_t* src, size_t srcSize, bool last, uint8_t* dst, size_t dstCapacity, size_t* consumed);

    // True once a `last` call has written the end of the stream.
    bool Finished() const { return phase_ == Phase::kFinished; }
    uint64_t BytesIn() const { return textSize_; }
    uint64_t BytesOut() const { return codeSize_; }

private:
    enum class Phase { kStart, kCoding, kFinished };
    static constexpr int kRingSize = lzss::kRingSize;
    static constexpr int kMaxMatch = lzss::kMaxMatch;
    static constexpr unsigned kMask = kRingSize - 1;
    static constexpr int kNil = kRingSize;  // "no node"
    static constexpr int kRoots = 256;      // one tree per first byte
    // Positions inserted ahead of coding: the longer the runs of insertions
    // between coding steps, the fewer the loop exits. Well below the ring's
    // length, so that a literal's byte is still in the ring when coded.
    static constexpr unsigned kAhead = 256;
    static constexpr int kFullMiss = -10;  // Walk::miss of a whole match
    static constexpr int kNoMatch = 8;     // Walk::miss before any node

    // One walk down a tree, inserting the string at r.
    struct Walk {
        uint64_t k1;    // bytes 1..8 of the key, in order
        unsigned r;     // the key's position
        unsigned p;     // the node reached
        unsigned next;  // the child of p to visit next
        unsigned bestPosition;
        // How far the best match falls short, in a scale that costs the
        // walk least: a match of 1..8 bytes scores 7..0 (the index of the
        // highest differing byte of the first words), one of 9..16 -1..-8,
        // 17 bytes kFullMiss + 1, and all 18 kFullMiss, which ends the walk
        // at p, a node holding the same string.
        int miss;
    };

    uint32_t Kids(unsigned n) const;
    static unsigned Child(uint32_t kids, unsigned right);
    static unsigned Left(uint32_t kids);
    static unsigned Right(uint32_t kids);
    void Begin(Walk& w, unsigned r);
    template <bool kTrack>
    bool Step(Walk& w);
    unsigned After(unsigned r, unsigned p) const;
    void End(const Walk& w);
    void Replace(unsigned p, unsigned r);
    bool Follow(uint64_t k);
    template <bool kTrack>
    void InsertNode(unsigned r);
    void DeleteNode(unsigned p);
    void Remember(uint64_t position, const Walk& w);

    bool InsertPositions(const uint8_t*& ip, const uint8_t* iend, bool last);
    void NoteEnd(const uint8_t* ip, const uint8_t* iend, bool last);
    void SetFollow(const Walk& w);
    bool CanPair(uint64_t k, size_t available, bool last) const;
    void Take(unsigned s, uint8_t c);
    void TakeByte(uint64_t position, const uint8_t*& ip, const uint8_t* iend);
    bool Independent(unsigned r, unsigned s1) const;
    void InsertOne(uint64_t k, unsigned r);
    void InsertTwo(uint64_t k, unsigned r);
    size_t FlushGroup(uint8_t* dst);

    Phase phase_ = Phase::kStart;
    // Ring, with the first kMaxMatch - 1 positions mirrored behind its end so
    // that a string at any position can be compared without wrapping.
    uint8_t text_[kRingSize + kMaxMatch - 1];
    // Tree links, 16 bits so that all fit the first-level cache. kid_[n][0]
    // is node n's left child, kid_[n][1] its right one: the walk down picks a
    // child by index instead of by a hard-to-predict branch. A node's two
    // links are read as one word, together with its string, so that the
    // walk's next node costs a shift instead of a dependent load.
    alignas(4) uint16_t kid_[kRingSize + 1 + kRoots][2];
    uint16_t dad_[kRingSize + 1];

    // Input position k lives at ring position (kFirstPosition + k) & kMask.
    // Every position is inserted in order; coding steps then pick the match
    // of the positions where they start.
    uint64_t inserted_ = 0;  // positions inserted so far
    uint64_t coding_ = 0;    // position of the next coding step
    uint64_t read_ = 0;      // input bytes taken into the ring
    uint64_t end_ = 0;       // length of the input, once `last` was seen
    bool endKnown_ = false;
    // When the last position inserted holds the same 18 bytes as node n,
    // n + 1 (if still in its tree) holds the next position's string but for
    // its last byte; kNil otherwise.
    unsigned follow_ = kNil;
    uint8_t matchLength_[kAhead];
    uint16_t matchPosition_[kAhead];

    uint8_t group_[lzss::kMaxGroupSize];
    size_t groupSize_ = 1;
    uint8_t mask_ = 1;
    uint64_t textSize_ = 0;
    uint64_t codeSize_ = 0;
    uint64_t printCount_ = 0;
    ProgressFn progress_ = nullptr;
    void* progressContext_ = nullptr;
};
