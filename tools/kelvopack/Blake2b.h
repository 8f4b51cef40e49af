// BLAKE2b (RFC 7693), unkeyed, as the content hash that names the entries
// of the member cache: a cryptographic hash, so that two different files
// never share an entry, and fast enough that hashing a payload costs a
// small part of reading it. Never reads outside the buffers it is given.
#pragma once

#include <cstddef>
#include <cstdint>

class Blake2b {
public:
    static constexpr size_t kMaxDigest = 64;

    // digestSize: 1 to 64 bytes.
    explicit Blake2b(size_t digestSize = 32);

    void Update(const void* data, size_t size);
    // Writes the digest (digestSize bytes). The object is spent afterwards.
    void Final(uint8_t* digest);

private:
    void Compress(const uint8_t* block, bool last);
    // Adds bytes to the 128-bit count of bytes hashed.
    void Count(size_t bytes);

    uint64_t h_[8];
    uint64_t counter_[2] = {0, 0};
    uint8_t buffer_[128];
    size_t filled_ = 0;
    size_t digestSize_;
};
