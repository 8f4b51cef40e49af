// LZSS over a 4096-byte ring: the one compression format of every package.
//
// Compressed stream: no header, no size, no end marker, no checksum; it ends
// where its data ends, and an empty input gives an empty stream.
//
//   group := flag item{1..8}          (only the last group may be short)
//   flag  := 1 byte; bit k describes item k, bit 0 first; unused bits are 0
//   item  := literal    (flag bit 1)  1 byte: the output byte itself
//          | reference  (flag bit 0)  2 bytes:
//
//              byte 0           byte 1
//            +----------+  +-----------+-----------+
//            | pos 7..0 |  | pos 11..8 | length-3  |
//            +----------+  +-----------+-----------+
//                             bits 7..4   bits 3..0
//
// `pos` is an absolute ring index (0..4095), not a distance; length is 3..18.
// The ring starts with positions 0..4077 holding spaces (and, for damaged
// streams only, 4078..4095 holding zeros); the write position starts at 4078
// and every output byte is stored there and advances it. A reference copies
// its bytes one at a time, so it may run into the bytes it produces.
//
// Safety promise of every function and class here: they never read or write
// outside the buffers they are given, whatever the input.
#pragma once

#include <cstddef>
#include <cstdint>

namespace lzss {

constexpr int kRingSize = 4096;
constexpr int kMaxMatch = 18;
constexpr int kThreshold = 2;                          // a match must be longer than this to be coded
constexpr int kFirstPosition = kRingSize - kMaxMatch;  // 4078
constexpr uint8_t kFillByte = 0x20;
constexpr size_t kMaxGroupSize = 1 + 2 * 8;  // flag byte and eight references

// Returned instead of a size when the destination is too small.
constexpr size_t kError = static_cast<size_t>(-1);

// The largest stream that `srcSize` input bytes can compress to.
constexpr size_t CompressBound(size_t srcSize)
{
    return srcSize + (srcSize + 7) / 8;
}

// Compresses src into dst. Returns the compressed size, or kError when
// dstCapacity is too small (CompressBound(srcSize) is always enough).
size_t Compress(const void* src, size_t srcSize, void* dst, size_t dstCapacity);

// Decompresses a whole stream into dst. Returns the decompressed size, or
// kError when the stream decodes to more than dstCapacity bytes. An item cut
// short at the end of src produces nothing, as the format has it.
size_t Decompress(const void* src, size_t srcSize, void* dst, size_t dstCapacity);

}  // namespace lzss
