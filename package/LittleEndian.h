// Numbers as Windows images and the package store them: least significant
// byte first, read from and written to bytes of any alignment.
#pragma once

#include <cstdint>
#include <vector>

inline uint16_t Le16(const uint8_t* p)
{
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

inline uint32_t Le32(const uint8_t* p)
{
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
           (static_cast<uint32_t>(p[3]) << 24);
}

inline uint64_t Le64(const uint8_t* p)
{
    return static_cast<uint64_t>(Le32(p)) | (static_cast<uint64_t>(Le32(p + 4)) << 32);
}

inline void PutLe32(uint8_t* p, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<uint8_t>(v >> (8 * i));
}

inline void PutLe64(uint8_t* p, uint64_t v)
{
    PutLe32(p, static_cast<uint32_t>(v));
    PutLe32(p + 4, static_cast<uint32_t>(v >> 32));
}

// The same, appended to a buffer being built.
inline void AppendLe16(std::vector<uint8_t>* out, uint16_t v)
{
    out->push_back(static_cast<uint8_t>(v));
    out->push_back(static_cast<uint8_t>(v >> 8));
}

inline void AppendLe32(std::vector<uint8_t>* out, uint32_t v)
{
    out->resize(out->size() + 4);
    PutLe32(out->data() + out->size() - 4, v);
}

inline void AppendLe64(std::vector<uint8_t>* out, uint64_t v)
{
    out->resize(out->size() + 8);
    PutLe64(out->data() + out->size() - 8, v);
}
