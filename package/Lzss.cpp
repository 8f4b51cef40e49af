#include "Lzss.h"

#include "LzssEncoder.h"

#include <cstring>
#include <memory>

namespace lzss {

size_t Compress(const void* src, size_t srcSize, void* dst, size_t dstCapacity)
{
    // The encoder's state is about 30 KB: too much for some threads' stacks.
    auto encoder = std::make_unique<LzssEncoder>();
    const uint8_t* in = static_cast<const uint8_t*>(src);
    uint8_t* out = static_cast<uint8_t*>(dst);
    size_t written = 0;
    size_t read = 0;
    while (!encoder->Finished()) {
        // The encoder wants room for a whole group; near the end of dst it
        // writes into a stage first, so that an exact capacity is enough.
        uint8_t stage[kMaxGroupSize];
        const size_t room = dstCapacity - written;
        const bool staged = room < kMaxGroupSize;
        size_t consumed = 0;
        const size_t n = encoder->Encode(in + read, srcSize - read, true, staged ? stage : out + written,
                                         staged ? sizeof stage : room, &consumed);
        if (staged) {
            if (n > room)
                return kError;
            if (n > 0)
                std::memcpy(out + written, stage, n);
        }
        read += consumed;
        written += n;
    }
    return written;
}

}  // namespace lzss
