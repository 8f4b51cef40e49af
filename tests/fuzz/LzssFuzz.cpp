// The codec against its plain transcription on any input: the fast encoder
// must give the very same stream, in one piece and in pieces of any size;
// that stream must decode back; and any byte string, read as a stream, must
// decode as the transcription decodes it, without reading or writing outside
// the buffers.
#include "CollectingSink.h"
#include "FuzzCheck.h"
#include "Lzss.h"
#include "LzssDecoder.h"
#include "LzssEncoder.h"
#include "ReferenceLzss.h"

#include <cstring>
#include <vector>

namespace {

// Chunk sizes from the input's first byte, so that the fuzzer explores them.
size_t Piece(uint8_t seed, size_t i)
{
    return 1 + (size_t(seed) * 31 + i * 17) % (seed % 64u + 1u);
}

std::vector<uint8_t> EncodeInPieces(const std::vector<uint8_t>& input, uint8_t seed)
{
    LzssEncoder encoder;
    std::vector<uint8_t> out;
    std::vector<uint8_t> room(lzss::kMaxGroupSize + seed % 40);
    size_t fed = 0;
    size_t read = 0;
    for (size_t i = 0; !encoder.Finished(); ++i) {
        fed = std::min(input.size(), fed + Piece(seed, i));
        const bool last = fed == input.size();
        size_t consumed = 0;
        const size_t n = encoder.Encode(input.data() + read, fed - read, last, room.data(), room.size(), &consumed);
        out.insert(out.end(), room.begin(), room.begin() + static_cast<std::ptrdiff_t>(n));
        read += consumed;
        Check(i < 16 * (input.size() + 64));  // it always makes progress
    }
    return out;
}

std::vector<uint8_t> DecodeInPieces(const std::vector<uint8_t>& stream, uint8_t seed)
{
    LzssDecoder decoder(lzss::kMaxMatch + seed % 50);
    CollectingSink sink;
    size_t fed = 0;
    size_t read = 0;
    for (size_t i = 0;; ++i) {
        fed = std::min(stream.size(), fed + Piece(seed, i));
        const bool last = fed == stream.size();
        size_t consumed = 0;
        Check(decoder.Decode(stream.data() + read, fed - read, last, &consumed, sink));
        read += consumed;
        if (last)
            break;
        Check(fed - read <= 2);
    }
    return sink.bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const uint8_t seed = data[0];
    const std::vector<uint8_t> input(data + 1, data + size);

    const std::vector<uint8_t> expected = reference::Encode(input);
    std::vector<uint8_t> packed(lzss::CompressBound(input.size()));
    const size_t n = lzss::Compress(input.data(), input.size(), packed.data(), packed.size());
    Check(n != lzss::kError);
    packed.resize(n);
    Check(packed == expected);
    Check(EncodeInPieces(input, seed) == expected);

    std::vector<uint8_t> back(input.size() + 1);
    Check(lzss::Decompress(packed.data(), packed.size(), back.data(), back.size()) == input.size());
    back.resize(input.size());
    Check(back == input);

    // The input as a (mostly damaged) stream.
    const std::vector<uint8_t> decoded = reference::Decode(input);
    std::vector<uint8_t> out(decoded.size());
    Check(lzss::Decompress(input.data(), input.size(), out.data(), out.size()) == decoded.size());
    Check(out == decoded);
    if (!decoded.empty()) {
        std::vector<uint8_t> small(decoded.size() - 1);
        Check(lzss::Decompress(input.data(), input.size(), small.data(), small.size()) == lzss::kError);
    }
    Check(DecodeInPieces(input, seed) == decoded);
    return 0;
}
