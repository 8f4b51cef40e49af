#include "Blake2b.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr uint64_t kIv[8] = {0x6a09e667f3bcc908ULL, 0xbb67ae8584caa73bULL, 0x3c6ef372fe94f82bULL,
                             0xa54ff53a5f1d36f1ULL, 0x510e527fade682d1ULL, 0x9b05688c2b3e6c1fULL,
                             0x1f83d9abfb41bd6bULL, 0x5be0cd19137e2179ULL};

constexpr uint8_t kSigma[12][16] = {
    {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15}, {14, 10, 4, 8, 9, 15, 13, 6, 1, 12, 0, 2, 11, 7, 5, 3},
    {11, 8, 12, 0, 5, 2, 15, 13, 10, 14, 3, 6, 7, 1, 9, 4}, {7, 9, 3, 1, 13, 12, 11, 14, 2, 6, 5, 10, 4, 0, 15, 8},
    {9, 0, 5, 7, 2, 4, 10, 15, 14, 1, 11, 12, 6, 8, 3, 13}, {2, 12, 6, 10, 0, 11, 8, 3, 4, 13, 7, 5, 15, 14, 1, 9},
    {12, 5, 1, 15, 14, 13, 4, 10, 0, 7, 6, 3, 9, 2, 8, 11}, {13, 11, 7, 14, 12, 1, 3, 9, 5, 0, 15, 4, 8, 6, 2, 10},
    {6, 15, 14, 9, 11, 3, 0, 8, 12, 2, 13, 7, 1, 4, 10, 5}, {10, 2, 8, 4, 7, 6, 1, 5, 15, 11, 9, 14, 3, 12, 13, 0},
    {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15}, {14, 10, 4, 8, 9, 15, 13, 6, 1, 12, 0, 2, 11, 7, 5, 3}};

inline uint64_t Rotr(uint64_t x, unsigned n)
{
    return (x >> n) | (x << (64 - n));
}

inline uint64_t Load64(const uint8_t* p)
{
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    uint64_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
#else
    uint64_t v = 0;
    for (int i = 7; i >= 0; --i)
        v = (v << 8) | p[i];
    return v;
#endif
}

inline void Mix(uint64_t& a, uint64_t& b, uint64_t& c, uint64_t& d, uint64_t x, uint64_t y)
{
    a = a + b + x;
    d = Rotr(d ^ a, 32);
    c = c + d;
    b = Rotr(b ^ c, 24);
    a = a + b + y;
    d = Rotr(d ^ a, 16);
    c = c + d;
    b = Rotr(b ^ c, 63);
}

// One round, its message order fixed at compile time: the state and the
// message words then stay in registers instead of an array indexed at run time.
template <int R>
inline void Round(uint64_t (&v)[16], const uint64_t (&m)[16])
{
    constexpr const uint8_t* s = kSigma[R];
    Mix(v[0], v[4], v[8], v[12], m[s[0]], m[s[1]]);
    Mix(v[1], v[5], v[9], v[13], m[s[2]], m[s[3]]);
    Mix(v[2], v[6], v[10], v[14], m[s[4]], m[s[5]]);
    Mix(v[3], v[7], v[11], v[15], m[s[6]], m[s[7]]);
    Mix(v[0], v[5], v[10], v[15], m[s[8]], m[s[9]]);
    Mix(v[1], v[6], v[11], v[12], m[s[10]], m[s[11]]);
    Mix(v[2], v[7], v[8], v[13], m[s[12]], m[s[13]]);
    Mix(v[3], v[4], v[9], v[14], m[s[14]], m[s[15]]);
}

}  // namespace

Blake2b::Blake2b(size_t digestSize) : digestSize_(std::min<size_t>(std::max<size_t>(digestSize, 1), kMaxDigest))
{
    std::memcpy(h_, kIv, sizeof h_);
    h_[0] ^= 0x01010000ULL ^ digestSize_;
}

void Blake2b::Compress(const uint8_t* block, bool last)
{
    uint64_t m[16];
    for (size_t i = 0; i < 16; ++i)
        m[i] = Load64(block + 8 * i);
    uint64_t v[16];
    for (int i = 0; i < 8; ++i) {
        v[i] = h_[i];
        v[i + 8] = kIv[i];
    }
    v[12] ^= counter_[0];
    v[13] ^= counter_[1];
    if (last)
        v[14] = ~v[14];
    Round<0>(v, m);
    Round<1>(v, m);
    Round<2>(v, m);
    Round<3>(v, m);
    Round<4>(v, m);
    Round<5>(v, m);
    Round<6>(v, m);
    Round<7>(v, m);
    Round<8>(v, m);
    Round<9>(v, m);
    Round<10>(v, m);
    Round<11>(v, m);
    for (int i = 0; i < 8; ++i)
        h_[i] ^= v[i] ^ v[i + 8];
}

void Blake2b::Count(size_t bytes)
{
    counter_[0] += bytes;
    if (counter_[0] < bytes)
        ++counter_[1];
}

void Blake2b::Update(const void* data, size_t size)
{
    const uint8_t* in = static_cast<const uint8_t*>(data);
    // The last block is held back: it is compressed by Final, flagged as last.
    if (filled_ > 0 && size > sizeof buffer_ - filled_) {
        const size_t n = sizeof buffer_ - filled_;
        std::memcpy(buffer_ + filled_, in, n);
        in += n;
        size -= n;
        Count(sizeof buffer_);
        Compress(buffer_, false);
        filled_ = 0;
    }
    // Whole blocks straight from the input (the buffer is empty then), but
    // the one that may be the last.
    while (size > sizeof buffer_) {
        Count(sizeof buffer_);
        Compress(in, false);
        in += sizeof buffer_;
        size -= sizeof buffer_;
    }
    if (size > 0) {
        std::memcpy(buffer_ + filled_, in, size);
        filled_ += size;
    }
}

void Blake2b::Final(uint8_t* digest)
{
    Count(filled_);
    std::memset(buffer_ + filled_, 0, sizeof buffer_ - filled_);
    Compress(buffer_, true);
    for (size_t i = 0; i < digestSize_; ++i)
        digest[i] = static_cast<uint8_t>(h_[i / 8] >> (8 * (i % 8)));
}
