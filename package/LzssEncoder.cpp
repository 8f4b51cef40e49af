#include "LzssEncoder.h"

#include <cstring>

using lzss::kFillByte;
using lzss::kFirstPosition;
using lzss::kMaxGroupSize;
using lzss::kThreshold;

namespace {

// Number of equal leading bytes of the kMaxMatch-byte strings at a and b
// (byte 0 is equal by construction), and in *cmp the difference of the first
// unequal pair as unsigned bytes (0 when all are equal). Reads a[1..17] and
// b[1..17], eight bytes at a time.
inline int CommonPrefix(const uint8_t* a, const uint8_t* b, int* cmp)
{
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    for (int at = 1; at < 17; at += 8) {
        uint64_t x;
        uint64_t y;
        std::memcpy(&x, a + at, 8);
        std::memcpy(&y, b + at, 8);
        if (x != y) {
            const int i = at + (__builtin_ctzll(x ^ y) >> 3);
            *cmp = a[i] - b[i];
            return i;
        }
    }
    *cmp = a[17] - b[17];
    return *cmp != 0 ? 17 : 18;
#else
    for (int i = 1; i < lzss::kMaxMatch; ++i) {
        if ((*cmp = a[i] - b[i]) != 0)
            return i;
    }
    *cmp = 0;
    return lzss::kMaxMatch;
#endif
}

}  // namespace

LzssEncoder::LzssEncoder()
{
    Reset();
}

void LzssEncoder::Reset()
{
    phase_ = Phase::kStart;
    // Only the space-filled part of the ring is set; the rest starts at zero
    // and may be compared against before the input fills it, which shapes
    // the choice among equally long matches near the end of short inputs.
    std::memset(text_, kFillByte, kFirstPosition);
    std::memset(text_ + kFirstPosition, 0, sizeof text_ - kFirstPosition);
    for (int i = kRingSize + 1; i <= kRingSize + kRoots; ++i)
        rson_[i] = kNil;
    for (int i = 0; i < kRingSize; ++i)
        dad_[i] = kNil;
    matchPosition_ = 0;
    matchLength_ = 0;
    r_ = kFirstPosition;
    s_ = 0;
    len_ = 0;
    group_[0] = 0;
    groupSize_ = 1;
    mask_ = 1;
    textSize_ = 0;
    codeSize_ = 0;
    printCount_ = 0;
}

void LzssEncoder::SetProgress(ProgressFn fn, void* context)
{
    progress_ = fn;
    progressContext_ = context;
}

inline void LzssEncoder::InsertNode(int r)
{
    const uint8_t* key = &text_[r];
    int p = kRingSize + 1 + key[0];
    int cmp = 1;
    rson_[r] = lson_[r] = kNil;
    matchLength_ = 0;
    for (;;) {
        uint16_t* child = cmp >= 0 ? &rson_[p] : &lson_[p];
        if (*child == kNil) {
            *child = static_cast<uint16_t>(r);
            dad_[r] = static_cast<uint16_t>(p);
            return;
        }
        p = *child;
        const int i = CommonPrefix(key, &text_[p], &cmp);
        if (i > matchLength_) {
            matchPosition_ = p;
            matchLength_ = i;
            if (i >= kMaxMatch)
                break;
        }
    }
    // r holds the same 18 bytes as p and is newer: it takes p's place.
    dad_[r] = dad_[p];
    lson_[r] = lson_[p];
    rson_[r] = rson_[p];
    dad_[lson_[p]] = static_cast<uint16_t>(r);
    dad_[rson_[p]] = static_cast<uint16_t>(r);
    if (rson_[dad_[p]] == p)
        rson_[dad_[p]] = static_cast<uint16_t>(r);
    else
        lson_[dad_[p]] = static_cast<uint16_t>(r);
    dad_[p] = kNil;
}

inline void LzssEncoder::DeleteNode(int p)
{
    if (dad_[p] == kNil)
        return;
    int q;
    if (rson_[p] == kNil) {
        q = lson_[p];
    } else if (lson_[p] == kNil) {
        q = rson_[p];
    } else {
        q = lson_[p];
        if (rson_[q] != kNil) {
            do {
                q = rson_[q];
            } while (rson_[q] != kNil);
            rson_[dad_[q]] = lson_[q];
            dad_[lson_[q]] = dad_[q];
            lson_[q] = lson_[p];
            dad_[lson_[p]] = static_cast<uint16_t>(q);
        }
        rson_[q] = rson_[p];
        dad_[rson_[p]] = static_cast<uint16_t>(q);
    }
    dad_[q] = dad_[p];
    if (rson_[dad_[p]] == p)
        rson_[dad_[p]] = static_cast<uint16_t>(q);
    else
        lson_[dad_[p]] = static_cast<uint16_t>(q);
    dad_[p] = kNil;
}

size_t LzssEncoder::FlushGroup(uint8_t* dst)
{
    const size_t n = groupSize_;
    std::memcpy(dst, group_, n);
    codeSize_ += n;
    group_[0] = 0;
    groupSize_ = 1;
    mask_ = 1;
    return n;
}

size_t LzssEncoder::Encode(const uint8_t* src, size_t srcSize, bool last, uint8_t* dst,
                           size_t dstCapacity, size_t* consumed)
{
    const uint8_t* ip = src;
    const uint8_t* const iend = src + srcSize;
    uint8_t* op = dst;
    uint8_t* const oend = dst + dstCapacity;

    if (phase_ == Phase::kStart) {
        if (!last && srcSize < static_cast<size_t>(kMaxMatch)) {
            *consumed = 0;
            return 0;
        }
        while (len_ < kMaxMatch && ip < iend)
            text_[r_ + len_++] = *ip++;
        textSize_ = static_cast<uint64_t>(len_);
        if (len_ == 0) {
            phase_ = Phase::kFinished;
            *consumed = 0;
            return 0;
        }
        for (int i = 1; i <= kMaxMatch; ++i)
            InsertNode(r_ - i);
        InsertNode(r_);
        phase_ = Phase::kCoding;
    }

    while (phase_ == Phase::kCoding) {
        // A coding step reads at most kMaxMatch bytes; running out of input
        // before the true end would cut the lookahead short.
        if (!last && iend - ip < kMaxMatch)
            break;
        if (oend - op < static_cast<ptrdiff_t>(kMaxGroupSize))
            break;

        if (matchLength_ > len_)
            matchLength_ = len_;
        if (matchLength_ <= kThreshold) {
            matchLength_ = 1;
            group_[0] |= mask_;
            group_[groupSize_++] = text_[r_];
        } else {
            group_[groupSize_++] = static_cast<uint8_t>(matchPosition_);
            group_[groupSize_++] = static_cast<uint8_t>(((matchPosition_ >> 4) & 0xF0) |
                                                        (matchLength_ - (kThreshold + 1)));
        }
        mask_ = static_cast<uint8_t>(mask_ << 1);
        if (mask_ == 0)
            op += FlushGroup(op);

        const int lastMatchLength = matchLength_;
        int i = 0;
        for (; i < lastMatchLength && ip < iend; ++i) {
            DeleteNode(s_);
            const uint8_t c = *ip++;
            text_[s_] = c;
            if (s_ < kMaxMatch - 1)
                text_[s_ + kRingSize] = c;
            s_ = (s_ + 1) & (kRingSize - 1);
            r_ = (r_ + 1) & (kRingSize - 1);
            InsertNode(r_);
        }
        textSize_ += static_cast<uint64_t>(i);
        if (textSize_ > printCount_) {
            if (progress_ != nullptr)
                progress_(progressContext_, textSize_);
            printCount_ += 1024;
        }
        for (; i < lastMatchLength; ++i) {
            DeleteNode(s_);
            s_ = (s_ + 1) & (kRingSize - 1);
            r_ = (r_ + 1) & (kRingSize - 1);
            if (--len_ != 0)
                InsertNode(r_);
        }
        if (len_ <= 0) {
            if (groupSize_ > 1)
                op += FlushGroup(op);
            phase_ = Phase::kFinished;
        }
    }
    *consumed = static_cast<size_t>(ip - src);
    return static_cast<size_t>(op - dst);
}
