#include "LzssOptimal.h"

#include <algorithm>
#include <cstring>
#include <memory>

using lzss::kFillByte;
using lzss::kFirstPosition;
using lzss::kMaxGroupSize;
using lzss::kThreshold;

namespace {

constexpr uint32_t kLiteralBits = 9;
constexpr uint32_t kReferenceBits = 17;
constexpr uint32_t kUnreached = UINT32_MAX / 2;
constexpr size_t kSmallestBlock = 64;
// Bytes behind the input in the buffer: the comparisons load eight bytes at
// a time from up to 17 bytes beyond a string's start.
constexpr size_t kSlack = 32;
// The plain coder's trees hold the strings of the last 4078 positions.
constexpr unsigned kPlainReach = kFirstPosition;

inline uint64_t Load8(const uint8_t* p)
{
    uint64_t v;
    std::memcpy(&v, p, 8);
    return v;
}

// Equal leading bytes of two eight-byte strings that differ, given their
// bitwise difference as loaded.
inline unsigned EqualBytes(uint64_t differ)
{
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    return static_cast<unsigned>(__builtin_clzll(differ)) / 8;
#else
    return static_cast<unsigned>(__builtin_ctzll(differ)) / 8;
#endif
}

}  // namespace

LzssOptimal::LzssOptimal(size_t blockSize)
    : block_(std::max(blockSize, kSmallestBlock)), buf_(2 * std::max<size_t>(block_, kRingSize) + kMaxMatch + kSlack),
      head_(size_t(1) << kHashBits), kid_(size_t(2) * kSlots), cost_(block_ + kMaxMatch + 1),
      step_(block_ + kMaxMatch + 1), length_(block_ + kMaxMatch), source_(block_ + kMaxMatch),
      choice_(block_ + kMaxMatch)
{
    // A block's items, all literals at worst, and the last group.
    pending_.reserve(lzss::CompressBound(block_) + kMaxGroupSize);
    Reset();
}

void LzssOptimal::Reset()
{
    phase_ = Phase::kParsing;
    // The ring as both directions start it: positions 4078 to 4095 (in front
    // of the first blank) are never referred to; 0 to 4077 hold blanks.
    bufBase_ = kOrigin - kRingSize;
    std::memset(buf_.data(), 0, kRingSize - kFirstPosition);
    std::memset(buf_.data() + (kRingSize - kFirstPosition), kFillByte, kFirstPosition);
    filled_ = kOrigin;
    end_ = 0;
    endKnown_ = false;
    primed_ = false;
    std::fill(head_.begin(), head_.end(), kNil);
    blockStart_ = kOrigin;
    next_ = kOrigin;
    cost_[0] = 0;
    std::fill(cost_.begin() + 1, cost_.begin() + kMaxMatch, kUnreached);
    plainAt_ = kOrigin;
    plainNext_ = kOrigin;
    pending_.clear();
    sent_ = 0;
    group_[0] = 0;
    groupSize_ = 1;
    mask_ = 1;
    codeSize_ = 0;
}

// Moves input into the buffer, first dropping what nothing needs any more:
// the bytes before both the block and the ring behind the next position.
void LzssOptimal::Take(const uint8_t*& ip, const uint8_t* iend, bool last)
{
    if (endKnown_)
        return;
    const uint64_t keep = std::min(blockStart_, next_ - kRingSize);
    if (keep > bufBase_) {
        std::memmove(buf_.data(), At(keep), static_cast<size_t>(filled_ - keep));
        bufBase_ = keep;
    }
    const size_t held = static_cast<size_t>(filled_ - bufBase_);
    const size_t n = std::min(buf_.size() - kSlack - held, static_cast<size_t>(iend - ip));
    if (n > 0) {
        std::memcpy(buf_.data() + held, ip, n);
        ip += n;
        filled_ += n;
    }
    if (last && ip == iend) {
        // Strings that run past the end compare against zeros; their matches
        // are cut to the input's end.
        std::memset(buf_.data() + held + n, 0, kSlack);
        end_ = filled_;
        endKnown_ = true;
    }
}

// Inserts the string at p as its tree's new root and finds its longest match.
// The walk down splits the tree into the strings smaller and greater than
// p's: `smaller` is the link where the next smaller node hangs (the greater
// link of the last smaller node met), `greater` likewise. Each node met
// shares at least the shorter of the two prefixes already matched on either
// side, so the comparison starts there.
LzssOptimal::Match LzssOptimal::Insert(uint64_t p)
{
    const uint8_t* key = At(p);
    const uint32_t three = static_cast<uint32_t>(key[0]) << 16 | static_cast<uint32_t>(key[1]) << 8 | key[2];
    const uint32_t h = (three * 2654435761u) >> (32 - kHashBits);
    uint64_t node = head_[h];
    head_[h] = p;
    const size_t slot = static_cast<size_t>(p % kSlots);
    uint64_t* smaller = &kid_[2 * slot];
    uint64_t* greater = &kid_[2 * slot + 1];
    unsigned smallerLength = 0;
    unsigned greaterLength = 0;
    Match m{0, 0, 0};
    for (;;) {
        const uint64_t d = p - node;
        if (d > kRingSize) {
            // Out of the ring, and so is everything older below it.
            *smaller = kNil;
            *greater = kNil;
            break;
        }
        const uint8_t* s = At(node);
        unsigned n = std::min(smallerLength, greaterLength);
        while (n < kMaxMatch) {
            const uint64_t differ = Load8(s + n) ^ Load8(key + n);
            if (differ != 0) {
                n += EqualBytes(differ);
                break;
            }
            n += 8;
        }
        n = std::min(n, kMaxMatch);
        if (n > m.length) {
            m.length = n;
            m.distance = static_cast<unsigned>(d);
            if (d <= kPlainReach)
                m.plainLength = n;
        }
        uint64_t* kids = &kid_[2 * static_cast<size_t>(node % kSlots)];
        if (n == kMaxMatch) {
            // The same 18 bytes: p takes the node's place, and its subtrees.
            *smaller = kids[0];
            *greater = kids[1];
            break;
        }
        if (s[n] < key[n]) {
            *smaller = node;
            smaller = &kids[1];
            smallerLength = n;
            node = kids[1];
        } else {
            *greater = node;
            greater = &kids[0];
            greaterLength = n;
            node = kids[0];
        }
    }
    return m;
}

// Finds the matches at p, the next position of the block, and extends the
// paths from it.
void LzssOptimal::Weigh(uint64_t p)
{
    const Match m = Insert(p);
    const unsigned left = endKnown_ && end_ - p < kMaxMatch ? static_cast<unsigned>(end_ - p) : kMaxMatch;
    const unsigned length = std::min(m.length, left);
    const size_t k = static_cast<size_t>(p - blockStart_);
    length_[k] = static_cast<uint8_t>(length > kThreshold ? length : 0);
    source_[k] = static_cast<uint16_t>((kFirstPosition + p - m.distance) % kRingSize);
    Relax(k);
    if (p == plainNext_) {
        // The plain coder codes its longest match here, or a literal.
        const unsigned plain = std::min(m.plainLength, left);
        plainAt_ = p;
        plainNext_ = p + (plain > kThreshold ? plain : 1);
    }
}

// The paths from k: a literal, or a reference of any length it allows. The
// cost beyond the farthest of them is not known yet.
void LzssOptimal::Relax(size_t k)
{
    cost_[k + kMaxMatch] = kUnreached;
    const uint32_t literal = cost_[k] + kLiteralBits;
    if (literal < cost_[k + 1]) {
        cost_[k + 1] = literal;
        step_[k + 1] = 1;
    }
    const uint32_t reference = cost_[k] + kReferenceBits;
    const size_t last = k + length_[k];
    for (size_t j = k + kThreshold + 1; j <= last; ++j) {
        if (reference < cost_[j]) {
            cost_[j] = reference;
            step_[j] = static_cast<uint8_t>(j - k);
        }
    }
}

// Codes the cheapest path from the block's start to `end`, and starts the
// next block there with the positions beyond it already weighed.
void LzssOptimal::Cut(uint64_t end)
{
    const size_t span = static_cast<size_t>(end - blockStart_);
    for (size_t j = span; j > 0;) {
        const uint8_t n = step_[j];
        j -= n;
        choice_[j] = n;
    }
    for (size_t k = 0; k < span; k += choice_[k])
        Put(k);

    const size_t tail = static_cast<size_t>(next_ - end);
    std::memmove(length_.data(), length_.data() + span, tail);
    std::memmove(source_.data(), source_.data() + span, tail * sizeof source_[0]);
    blockStart_ = end;
    cost_[0] = 0;
    std::fill(cost_.begin() + 1, cost_.begin() + kMaxMatch, kUnreached);
    for (size_t k = 0; k < tail; ++k)
        Relax(k);
}

void LzssOptimal::Put(size_t k)
{
    const unsigned n = choice_[k];
    if (n == 1) {
        group_[0] |= mask_;
        group_[groupSize_++] = At(blockStart_)[k];
    } else {
        const unsigned position = source_[k];
        group_[groupSize_++] = static_cast<uint8_t>(position);
        group_[groupSize_++] = static_cast<uint8_t>(((position >> 4) & 0xF0) | (n - (kThreshold + 1)));
    }
    mask_ = static_cast<uint8_t>(mask_ << 1);
    if (mask_ == 0)
        CloseGroup();
}

void LzssOptimal::CloseGroup()
{
    if (groupSize_ > 1)
        pending_.insert(pending_.end(), group_, group_ + groupSize_);
    group_[0] = 0;
    groupSize_ = 1;
    mask_ = 1;
}

// Weighs positions until a block is complete and coded (true) or the next
// position's 18 bytes are not all at hand (false).
bool LzssOptimal::Parse()
{
    if (!primed_) {
        // The strings of the last 18 initial positions stand for the whole
        // blank ring: the older ones hold the same 18 blanks.
        if (!endKnown_ && filled_ < kOrigin + kMaxMatch - 1)
            return false;
        for (uint64_t p = kOrigin - kMaxMatch; p < kOrigin; ++p)
            Insert(p);
        primed_ = true;
    }
    for (;;) {
        if (endKnown_ && next_ == end_) {
            Cut(end_);
            CloseGroup();
            phase_ = Phase::kDraining;
            return true;
        }
        if (!endKnown_ && filled_ - next_ < kMaxMatch)
            return false;
        if (next_ - blockStart_ == block_) {
            Cut(plainAt_);
            return true;
        }
        Weigh(next_++);
    }
}

uint8_t* LzssOptimal::Drain(uint8_t* op, uint8_t* oend)
{
    const size_t n = std::min(pending_.size() - sent_, static_cast<size_t>(oend - op));
    if (n > 0) {
        std::memcpy(op, pending_.data() + sent_, n);
        sent_ += n;
        codeSize_ += n;
    }
    if (sent_ == pending_.size()) {
        pending_.clear();
        sent_ = 0;
    }
    return op + n;
}

size_t LzssOptimal::Encode(const uint8_t* src, size_t srcSize, bool last, uint8_t* dst, size_t dstCapacity,
                           size_t* consumed)
{
    const uint8_t* ip = src;
    const uint8_t* const iend = src + srcSize;
    uint8_t* op = dst;
    uint8_t* const oend = dst + dstCapacity;
    for (;;) {
        op = Drain(op, oend);
        if (!pending_.empty() || phase_ == Phase::kFinished)
            break;
        if (phase_ == Phase::kDraining) {
            phase_ = Phase::kFinished;
            break;
        }
        Take(ip, iend, last);
        if (!Parse())
            break;
    }
    *consumed = static_cast<size_t>(ip - src);
    return static_cast<size_t>(op - dst);
}

namespace lzss {

size_t CompressBest(const void* src, size_t srcSize, void* dst, size_t dstCapacity)
{
    // The encoder's state is several hundred KB: not for a thread's stack.
    auto encoder = std::make_unique<LzssOptimal>();
    size_t consumed = 0;
    const size_t n = encoder->Encode(static_cast<const uint8_t*>(src), srcSize, true, static_cast<uint8_t*>(dst),
                                     dstCapacity, &consumed);
    return encoder->Finished() ? n : kError;
}

}  // namespace lzss
