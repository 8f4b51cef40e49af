#include "Blake2b.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr uint64_t kIv[8] = {0x6a09e667f3bcc908ULL, 0xbb67ae8584caa73bULL, 0x3c6ef372fe94f82bULL,
                             0xa54ff53a5f1d36f1ULL, 0x510e527fade682d1ULL, 0x9b05688c2b3e6c1fULL,
                             0x1f83d9abfb41bd6bULL, 0x5be0cd19137e2179ULL};

constexpr uint8_t kSigma[10][16] = {
    {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15}, {14, 10, 4, 8, 9, 15, 13, 6, 1, 12, 0, 2, 11, 7, 5, 3},
    {11, 8, 12, 0, 5, 2, 15, 13, 10, 14, 3, 6, 7, 1, 9, 4}, {7, 9, 3, 1, 13, 12, 11, 14, 2, 6, 5, 10, 4, 0, 15, 8},
    {9, 0, 5, 7, 2, 4, 10, 15, 14, 1, 11, 12, 6, 8, 3, 13}, {2, 12, 6, 10, 0, 11, 8, 3, 4, 13, 7, 5, 15, 14, 1, 9},
    {12, 5, 1, 15, 14, 13, 4, 10, 0, 7, 6, 3, 9, 2, 8, 11}, {13, 11, 7, 14, 12, 1, 3, 9, 5, 0, 15, 4, 8, 6, 2, 10},
    {6, 15, 14, 9, 11, 3, 0, 8, 12, 2, 13, 7, 1, 4, 10, 5}, {10, 2, 8, 4, 7, 6, 1, 5, 15, 11, 9, 14, 3, 12, 13, 0}};

inline uint64_t Rotr(uint64_t x, unsigned n)
{
    return (x >> n) | (x << (64 - n));
}

inline uint64_t Load64(const uint8_t* p)
{
    uint64_t v = 0;
    for (int i = 7; i >= 0; --i)
        v = (v << 8) | p[i];
    return v;
}

inline void Mix(uint64_t* v, int a, int b, int c, int d, uint64_t x, uint64_t y)
{
    v[a] = v[a] + v[b] + x;
    v[d] = Rotr(v[d] ^ v[a], 32);
    v[c] = v[c] + v[d];
    v[b] = Rotr(v[b] ^ v[c], 24);
    v[a] = v[a] + v[b] + y;
    v[d] = Rotr(v[d] ^ v[a], 16);
    v[c] = v[c] + v[d];
    v[b] = Rotr(v[b] ^ v[c], 63);
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
    for (int round = 0; round < 12; ++round) {
        const uint8_t* s = kSigma[round % 10];
        Mix(v, 0, 4, 8, 12, m[s[0]], m[s[1]]);
        Mix(v, 1, 5, 9, 13, m[s[2]], m[s[3]]);
        Mix(v, 2, 6, 10, 14, m[s[4]], m[s[5]]);
        Mix(v, 3, 7, 11, 15, m[s[6]], m[s[7]]);
        Mix(v, 0, 5, 10, 15, m[s[8]], m[s[9]]);
        Mix(v, 1, 6, 11, 12, m[s[10]], m[s[11]]);
        Mix(v, 2, 7, 8, 13, m[s[12]], m[s[13]]);
        Mix(v, 3, 4, 9, 14, m[s[14]], m[s[15]]);
    }
    for (int i = 0; i < 8; ++i)
        h_[i] ^= v[i] ^ v[i + 8];
}

void Blake2b::Update(const void* data, size_t size)
{
    const uint8_t* in = static_cast<const uint8_t*>(data);
    // The last block is held back: it is compressed by Final, flagged as last.
    while (size > 0) {
        if (filled_ == sizeof buffer_) {
            counter_[0] += sizeof buffer_;
            if (counter_[0] < sizeof buffer_)
                ++counter_[1];
            Compress(buffer_, false);
            filled_ = 0;
        }
        const size_t n = std::min(size, sizeof buffer_ - filled_);
        std::memcpy(buffer_ + filled_, in, n);
        filled_ += n;
        in += n;
        size -= n;
    }
}

void Blake2b::Final(uint8_t* digest)
{
    counter_[0] += filled_;
    if (counter_[0] < filled_)
        ++counter_[1];
    std::memset(buffer_ + filled_, 0, sizeof buffer_ - filled_);
    Compress(buffer_, true);
    for (size_t i = 0; i < digestSize_; ++i)
        digest[i] = static_cast<uint8_t>(h_[i / 8] >> (8 * (i % 8)));
}
