#include "LzssEncoder.h"

#include <cstring>

using lzss::kFillByte;
using lzss::kFirstPosition;
using lzss::kMaxGroupSize;
using lzss::kThreshold;

namespace {

// Eight bytes as a big-endian number: comparing two such numbers compares
// the bytes in order, as the trees sort their strings.
inline uint64_t LoadOrdered(const uint8_t* p)
{
    uint64_t v;
    std::memcpy(&v, p, 8);
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    v = __builtin_bswap64(v);
#endif
    return v;
}

// The index of the highest nonzero byte of a nonzero word: 7 when the
// words it compares differ in their first byte, 0 when only in their last.
inline int HighByte(uint64_t d)
{
    return (63 ^ __builtin_clzll(d)) >> 3;
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
    // A root has only a right child; its left link is read with it, unused.
    for (int i = kRingSize + 1; i <= kRingSize + kRoots; ++i)
        kid_[i][0] = kid_[i][1] = kNil;
    for (int i = 0; i < kRingSize; ++i)
        dad_[i] = kNil;
    follow_ = kNil;
    inserted_ = 0;
    coding_ = 0;
    read_ = 0;
    end_ = 0;
    endKnown_ = false;
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

// Both links of node n, read at once (Child picks one).
inline uint32_t LzssEncoder::Kids(unsigned n) const
{
    uint32_t kids;
    std::memcpy(&kids, kid_[n], sizeof kids);
    return kids;
}

inline unsigned LzssEncoder::Child(uint32_t kids, unsigned right)
{
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    right ^= 1;
#endif
    return (kids >> (16 * right)) & 0xFFFF;
}

// Both children of a node, as Kids reads them.
inline unsigned LzssEncoder::Left(uint32_t kids)
{
    return Child(kids, 0);
}

inline unsigned LzssEncoder::Right(uint32_t kids)
{
    return Child(kids, 1);
}

// Inserting the string at r walks down the tree of its first byte to a free
// leaf slot, or to a node holding the same 18 bytes, which r then replaces
// (each tree keeps only the newest position of a string). With kTrack the
// walk also finds the longest match: the first node met with the longest
// common prefix wins. The walk's comparisons are branch-free: their outcome
// is data, and mispredicts would cost more than the work.
inline void LzssEncoder::Begin(Walk& w, unsigned r)
{
    const uint8_t* key = &text_[r];
    w.k1 = LoadOrdered(key + 1);
    w.r = r;
    w.p = kRingSize + 1 + key[0];
    w.next = Child(Kids(w.p), 1);
    w.miss = kNoMatch;
    w.bestPosition = 0;
    kid_[r][0] = kid_[r][1] = kNil;
}

// The walk goes down to w.next, which becomes w.p, and picks the child of
// it to visit next. Which way it went is not kept: End finds it again once,
// which costs less than carrying it through every step.
template <bool kTrack>
inline bool LzssEncoder::Step(Walk& w)
{
    const unsigned q = w.next;
    if (q == kNil)
        return false;  // the free slot is a child of w.p
    w.p = q;
    // The next node is chosen between two values at hand straight from the
    // comparison: that adds one instruction to the walk's chain, where a
    // shift by a computed count adds three.
    const uint32_t kids = Kids(q);
    const unsigned left = Left(kids);
    const unsigned right = Right(kids);
    // text_ + q + 1, not text_[q + 1]: the offset then folds into the load.
    const uint64_t w1 = LoadOrdered(text_ + q + 1);
    const uint64_t d1 = w.k1 ^ w1;
    int miss;
    if (d1 != 0) {
        if (kTrack)
            miss = HighByte(d1);
        w.next = w.k1 > w1 ? right : left;
    } else {
        // Rare: the rest of the key is read when needed, which keeps the
        // walk's state small enough for two walks to stay in registers.
        const uint64_t k2 = LoadOrdered(&text_[w.r + 9]);
        const uint64_t w2 = LoadOrdered(&text_[q + 9]);
        const uint64_t d2 = k2 ^ w2;
        if (d2 != 0) {
            if (kTrack)
                miss = HighByte(d2) - 8;
            w.next = k2 > w2 ? right : left;
        } else {
            const unsigned k3 = text_[w.r + 17];
            const unsigned c = text_[q + 17];
            if (c == k3) {
                w.miss = kFullMiss;
                w.bestPosition = q;
                return false;
            }
            miss = kFullMiss + 1;
            w.next = k3 > c ? right : left;
        }
    }
    if (kTrack) {
        const bool longer = miss < w.miss;
        w.miss = longer ? miss : w.miss;
        w.bestPosition = longer ? q : w.bestPosition;
    }
    return true;
}

// Whether the string at r, which differs from node p's but for its first
// byte, sorts after it.
inline unsigned LzssEncoder::After(unsigned r, unsigned p) const
{
    const uint64_t k1 = LoadOrdered(&text_[r + 1]);
    const uint64_t w1 = LoadOrdered(&text_[p + 1]);
    if (k1 != w1)
        return k1 > w1;
    const uint64_t k2 = LoadOrdered(&text_[r + 9]);
    const uint64_t w2 = LoadOrdered(&text_[p + 9]);
    if (k2 != w2)
        return k2 > w2;
    return text_[r + 17] > text_[p + 17];
}

inline void LzssEncoder::End(const Walk& w)
{
    const unsigned r = w.r;
    const unsigned p = w.p;
    if (w.miss == kFullMiss) {
        Replace(p, r);
        return;
    }
    // A root has only a right child.
    const unsigned right = p > static_cast<unsigned>(kRingSize) ? 1 : After(r, p);
    kid_[p][right] = static_cast<uint16_t>(r);
    dad_[r] = static_cast<uint16_t>(p);
}

// r takes p's place; p leaves the tree.
inline void LzssEncoder::Replace(unsigned p, unsigned r)
{
    const unsigned parent = dad_[p];
    dad_[r] = static_cast<uint16_t>(parent);
    kid_[r][0] = kid_[p][0];
    kid_[r][1] = kid_[p][1];
    dad_[kid_[p][0]] = static_cast<uint16_t>(r);
    dad_[kid_[p][1]] = static_cast<uint16_t>(r);
    kid_[parent][kid_[parent][1] == p] = static_cast<uint16_t>(r);
    dad_[p] = kNil;
}

template <bool kTrack>
inline void LzssEncoder::InsertNode(unsigned r)
{
    Walk w;
    Begin(w, r);
    while (Step<kTrack>(w)) {
    }
    End(w);
}

inline void LzssEncoder::DeleteNode(unsigned p)
{
    if (dad_[p] == kNil)
        return;
    const unsigned left = kid_[p][0];
    const unsigned right = kid_[p][1];
    unsigned q;
    if ((left == kNil) | (right == kNil)) {
        // The one child, or none, replaces p: one test instead of two.
        q = left ^ right ^ kNil;
    } else {
        // The rightmost node of the left subtree replaces p.
        q = left;
        if (kid_[q][1] != kNil) {
            do {
                q = kid_[q][1];
            } while (kid_[q][1] != kNil);
            kid_[dad_[q]][1] = kid_[q][0];
            dad_[kid_[q][0]] = dad_[q];
            kid_[q][0] = static_cast<uint16_t>(left);
            dad_[left] = static_cast<uint16_t>(q);
        }
        kid_[q][1] = static_cast<uint16_t>(right);
        dad_[right] = static_cast<uint16_t>(q);
    }
    const unsigned parent = dad_[p];
    dad_[q] = static_cast<uint16_t>(parent);
    kid_[parent][kid_[parent][1] == p] = static_cast<uint16_t>(q);
    dad_[p] = kNil;
}

inline void LzssEncoder::Remember(uint64_t position, const Walk& w)
{
    matchLength_[position % kAhead] = static_cast<uint8_t>(kMaxMatch + kFullMiss - w.miss);
    matchPosition_[position % kAhead] = static_cast<uint16_t>(w.bestPosition);
}

// Inside a long repeat, the string at position k is that of the node after
// the one the previous position matched in full, if the byte that ends it
// agrees. A tree holds one node per string, and a walk for a string its tree
// holds ends at that node whatever the path: k takes its place, no walk
// needed, and that node is its match.
inline bool LzssEncoder::Follow(uint64_t k)
{
    const unsigned n = follow_;
    const unsigned r = static_cast<unsigned>(kFirstPosition + k) & kMask;
    if (n == kNil || dad_[n] == kNil || text_[n + kMaxMatch - 1] != text_[r + kMaxMatch - 1])
        return false;
    kid_[r][0] = kid_[r][1] = kNil;
    Replace(n, r);
    matchLength_[k % kAhead] = kMaxMatch;
    matchPosition_[k % kAhead] = static_cast<uint16_t>(n);
    follow_ = (n + 1) & kMask;
    return true;
}

// Before position k (k >= 1) is inserted, the oldest string, at ring slot
// s = k - 1, leaves its tree and input byte k + 17 takes its place.
inline void LzssEncoder::Take(unsigned s, uint8_t c)
{
    DeleteNode(s);
    text_[s] = c;
    if (s < static_cast<unsigned>(kMaxMatch - 1))
        text_[s + kRingSize] = c;
    ++read_;
}

// The same, once the input may have run out.
inline void LzssEncoder::TakeByte(uint64_t k, const uint8_t*& ip, const uint8_t* iend)
{
    const unsigned s = static_cast<unsigned>(k - 1) & kMask;
    if (ip < iend)
        Take(s, *ip++);
    else
        DeleteNode(s);
}

// Once the input is known to end, its length is.
inline void LzssEncoder::NoteEnd(const uint8_t* ip, const uint8_t* iend, bool last)
{
    if (last && ip == iend && !endKnown_) {
        endKnown_ = true;
        end_ = read_;
    }
}

inline void LzssEncoder::SetFollow(const Walk& w)
{
    follow_ = w.miss == kFullMiss ? (w.p + 1) & kMask : kNil;
}

// Positions k and k + 1, at ring r and r + 1, may be inserted side by side
// when nothing ties them: their strings go to different trees, and the node
// deleted before k + 1, at ring s1 (moved ahead of k's insertion), is not in
// k's tree.
inline bool LzssEncoder::Independent(unsigned r, unsigned s1) const
{
    return text_[r] != text_[r + 1] && (dad_[s1] == kNil || text_[s1] != text_[r]);
}

// The same, and both bytes they take must be at hand unless the input has
// ended.
inline bool LzssEncoder::CanPair(uint64_t k, size_t available, bool last) const
{
    if (k == 0 || k + 1 >= coding_ + kAhead || (endKnown_ && k + 1 >= end_))
        return false;
    if (!last && available < 2)
        return false;
    const unsigned r = static_cast<unsigned>(kFirstPosition + k) & kMask;
    return Independent(r, static_cast<unsigned>(k) & kMask);
}

inline void LzssEncoder::InsertOne(uint64_t k, unsigned r)
{
    Walk w;
    Begin(w, r);
    while (Step<true>(w)) {
    }
    End(w);
    Remember(k, w);
    SetFollow(w);
}

inline void LzssEncoder::InsertTwo(uint64_t k, unsigned r)
{
    Walk a;
    Walk b;
    Begin(a, r);
    Begin(b, (r + 1) & kMask);
    // Two independent chains of loads: the processor overlaps them.
    bool goA = true;
    bool goB = true;
    while (goA && goB) {
        goA = Step<true>(a);
        goB = Step<true>(b);
    }
    while (goA)
        goA = Step<true>(a);
    while (goB)
        goB = Step<true>(b);
    End(a);
    End(b);
    Remember(k, a);
    Remember(k + 1, b);
    SetFollow(b);
}

// Inserts positions while their bytes are at hand and the match memory has
// room. Returns false when it stopped for want of input.
bool LzssEncoder::InsertPositions(const uint8_t*& ip, const uint8_t* iend, bool last)
{
    const uint64_t limit = coding_ + kAhead;
    for (;;) {
        uint64_t k = inserted_;
        if (k > 0 && !endKnown_) {
            // Away from the input's ends and with room for two matches, no
            // checks: every position takes a byte at hand.
            while (k + 2 <= limit && iend - ip > 2) {
                const unsigned r = static_cast<unsigned>(kFirstPosition + k) & kMask;
                const unsigned s = (r + kMaxMatch - 1) & kMask;
                if (follow_ == kNil && Independent(r, (s + 1) & kMask)) {
                    Take(s, ip[0]);
                    Take((s + 1) & kMask, ip[1]);
                    ip += 2;
                    InsertTwo(k, r);
                    k += 2;
                    continue;
                }
                Take(s, *ip++);
                if (follow_ == kNil || !Follow(k))
                    InsertOne(k, r);
                ++k;
            }
            inserted_ = k;
        }
        if (k >= limit)
            return true;
        if (endKnown_ && k >= end_)
            return true;
        if (k > 0 && ip == iend && !last)
            return false;  // byte k + 17 is still to come
        const unsigned r = static_cast<unsigned>(kFirstPosition + k) & kMask;
        if (follow_ != kNil && k > 0) {
            // The byte that ends k's string comes first.
            TakeByte(k, ip, iend);
            if (!Follow(k))
                InsertOne(k, r);
            inserted_ = k + 1;
        } else if (CanPair(k, static_cast<size_t>(iend - ip), last)) {
            TakeByte(k, ip, iend);
            TakeByte(k + 1, ip, iend);
            InsertTwo(k, r);
            inserted_ = k + 2;
        } else {
            if (k > 0)
                TakeByte(k, ip, iend);
            InsertOne(k, r);
            inserted_ = k + 1;
        }
        NoteEnd(ip, iend, last);
    }
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

size_t LzssEncoder::Encode(const uint8_t* src, size_t srcSize, bool last, uint8_t* dst, size_t dstCapacity,
                           size_t* consumed)
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
        while (read_ < static_cast<uint64_t>(kMaxMatch) && ip < iend)
            text_[kFirstPosition + read_++] = *ip++;
        textSize_ = read_;
        if (read_ == 0) {
            phase_ = Phase::kFinished;
            *consumed = 0;
            return 0;
        }
        if (last && ip == iend) {
            endKnown_ = true;
            end_ = read_;
        }
        for (int i = 1; i <= kMaxMatch; ++i)
            InsertNode<false>(static_cast<unsigned>(kFirstPosition - i));
        phase_ = Phase::kCoding;
    }

    while (phase_ == Phase::kCoding) {
        InsertPositions(ip, iend, last);
        if (last && ip == iend && !endKnown_) {
            endKnown_ = true;
            end_ = read_;
        }
        // One coding step at position c needs c's match and, to count the
        // bytes read as the step's reading would, the next step's position
        // inserted (or the input's end known).
        bool coded = false;
        while (coding_ < inserted_ && oend - op >= static_cast<ptrdiff_t>(lzss::kMaxGroupSize)) {
            const uint64_t c = coding_;
            const uint64_t lookahead = endKnown_ && end_ - c < static_cast<uint64_t>(kMaxMatch)
                                           ? end_ - c
                                           : static_cast<uint64_t>(kMaxMatch);
            int length = matchLength_[c % kAhead];
            if (static_cast<uint64_t>(length) > lookahead)
                length = static_cast<int>(lookahead);
            if (length <= kThreshold)
                length = 1;
            const uint64_t next = c + static_cast<uint64_t>(length);
            if (!endKnown_ && next >= inserted_)
                break;
            const unsigned ring = static_cast<unsigned>(kFirstPosition + c) & kMask;
            if (length == 1) {
                group_[0] |= mask_;
                group_[groupSize_++] = text_[ring];
            } else {
                const unsigned position = matchPosition_[c % kAhead];
                group_[groupSize_++] = static_cast<uint8_t>(position);
                group_[groupSize_++] = static_cast<uint8_t>(((position >> 4) & 0xF0) | (length - (kThreshold + 1)));
            }
            mask_ = static_cast<uint8_t>(mask_ << 1);
            if (mask_ == 0)
                op += FlushGroup(op);
            coding_ = next;
            textSize_ = endKnown_ && end_ < next + kMaxMatch ? end_ : next + kMaxMatch;
            if (textSize_ > printCount_) {
                if (progress_ != nullptr)
                    progress_(progressContext_, textSize_);
                printCount_ += 1024;
            }
            coded = true;
            if (endKnown_ && coding_ >= end_) {
                if (groupSize_ > 1)
                    op += FlushGroup(op);
                phase_ = Phase::kFinished;
                break;
            }
        }
        if (!coded)
            break;
    }
    *consumed = static_cast<size_t>(ip - src);
    return static_cast<size_t>(op - dst);
}
