// The optimal parse on any input: its stream decodes back through every
// decoder, whole and in pieces; the streaming encoder gives the one-shot
// bytes whatever the pieces and the room; and, as blocks end on the plain
// coder's item boundaries, no stream is ever larger than the plain coder's,
// with blocks of any size.
#include "CollectingSink.h"
#include "FuzzCheck.h"
#include "Lzss.h"
#include "LzssDecoder.h"
#include "LzssOptimal.h"
#include "ReferenceLzss.h"

#include <algorithm>
#include <memory>
#include <vector>

namespace {

// Chunk sizes from the input's first byte, so that the fuzzer explores them.
size_t Piece(uint8_t seed, size_t i)
{
    return (size_t(seed) * 31 + i * 17) % (seed % 64u + 2u);
}

std::vector<uint8_t> EncodeInPieces(LzssOptimal& encoder, const std::vector<uint8_t>& input, uint8_t seed)
{
    encoder.Reset();
    std::vector<uint8_t> out;
    std::vector<uint8_t> room(1 + seed % 23);
    size_t fed = 0;
    size_t read = 0;
    for (size_t i = 0; !encoder.Finished(); ++i) {
        fed = std::min(input.size(), fed + Piece(seed, i));
        size_t consumed = 0;
        const size_t n = encoder.Encode(input.data() + read, fed - read, fed == input.size(), room.data(), room.size(),
                                        &consumed);
        out.insert(out.end(), room.begin(), room.begin() + static_cast<std::ptrdiff_t>(n));
        read += consumed;
        Check(i < 64 * (input.size() + 64));  // it always makes progress
    }
    Check(read == input.size() && encoder.BytesOut() == out.size());
    return out;
}

void CheckDecodes(const std::vector<uint8_t>& stream, const std::vector<uint8_t>& input)
{
    std::vector<uint8_t> back(input.size() + 1);
    Check(lzss::Decompress(stream.data(), stream.size(), back.data(), back.size()) == input.size());
    back.resize(input.size());
    Check(back == input);
    LzssDecoder decoder(lzss::kMaxMatch);
    CollectingSink sink;
    size_t consumed = 0;
    Check(decoder.Decode(stream.data(), stream.size(), true, &consumed, sink));
    Check(sink.bytes == input);
    Check(reference::Decode(stream) == input);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const uint8_t seed = data[0];
    const std::vector<uint8_t> input(data + 1, data + size);

    std::vector<uint8_t> plain(lzss::CompressBound(input.size()));
    plain.resize(lzss::Compress(input.data(), input.size(), plain.data(), plain.size()));
    std::vector<uint8_t> best(lzss::CompressBound(input.size()));
    const size_t n = lzss::CompressBest(input.data(), input.size(), best.data(), best.size());
    Check(n != lzss::kError);
    best.resize(n);
    Check(best.size() <= plain.size());
    CheckDecodes(best, input);
    if (n > 0 && seed % 8 == 0)
        Check(lzss::CompressBest(input.data(), input.size(), best.data(), n - 1) == lzss::kError);

    // Encoders kept from one input to the next, as a build's workers keep
    // theirs: each stream starts afresh from Reset. (Making them anew for
    // every input would spend most of the run allocating.)
    static const auto whole = std::make_unique<LzssOptimal>();
    Check(EncodeInPieces(*whole, input, seed) == best);
    // Small blocks end often, on the plain coder's items: never larger still.
    static const std::unique_ptr<LzssOptimal> small[] = {std::make_unique<LzssOptimal>(64),
                                                         std::make_unique<LzssOptimal>(77),
                                                         std::make_unique<LzssOptimal>(130),
                                                         std::make_unique<LzssOptimal>(1000)};
    const std::vector<uint8_t> pieces = EncodeInPieces(*small[seed % 4], input, seed);
    Check(pieces.size() <= plain.size());
    CheckDecodes(pieces, input);
    return 0;
}
