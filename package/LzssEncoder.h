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

    // Compresses from src into dst. Until `last` is true the encoder needs
    // kMaxMatch bytes of input beyond each coding step, so it may leave up to
    // kMaxMatch - 1 bytes unconsumed: pass them again, followed by more input.
    // It stops early when dst has less than kMaxGroupSize bytes of room.
    // Stores the bytes consumed in *consumed and returns the bytes written.
    size_t Encode(const uint8_t* src, size_t srcSize, bool last, uint8_t* dst,
                  size_t dstCapacity, size_t* consumed);

    // True once a `last` call has written the end of the stream.
    bool Finished() const { return phase_ == Phase::kFinished; }
    uint64_t BytesIn() const { return textSize_; }
    uint64_t BytesOut() const { return codeSize_; }

private:
    enum class Phase { kStart, kCoding, kFinished };
    static constexpr int kRingSize = lzss::kRingSize;
    static constexpr int kMaxMatch = lzss::kMaxMatch;
    static constexpr int kNil = kRingSize;  // "no node"
    static constexpr int kRoots = 256;      // one tree per first byte

    void InsertNode(int r);
    void DeleteNode(int p);
    size_t FlushGroup(uint8_t* dst);

    Phase phase_ = Phase::kStart;
    // Ring, with the first kMaxMatch - 1 positions mirrored behind its end so
    // that a string at any position can be compared without wrapping.
    uint8_t text_[kRingSize + kMaxMatch - 1];
    // Tree links; 16 bits keep all three arrays in the first-level cache.
    uint16_t lson_[kRingSize + 1];
    uint16_t rson_[kRingSize + 1 + kRoots];
    uint16_t dad_[kRingSize + 1];
    int matchPosition_ = 0;
    int matchLength_ = 0;
    int r_ = lzss::kFirstPosition;  // coding position
    int s_ = 0;               // oldest position
    int len_ = 0;             // lookahead length
    uint8_t group_[lzss::kMaxGroupSize];
    size_t groupSize_ = 1;
    uint8_t mask_ = 1;
    uint64_t textSize_ = 0;
    uint64_t codeSize_ = 0;
    uint64_t printCount_ = 0;
    ProgressFn progress_ = nullptr;
    void* progressContext_ = nullptr;
};
