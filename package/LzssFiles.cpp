#include "LzssFiles.h"

#include "File.h"
#include "FileSink.h"
#include "LzssDecoder.h"
#include "LzssEncoder.h"

#include <cstring>
#include <vector>

namespace {

constexpr size_t kChunk = size_t(1) << 20;

}  // namespace

bool CompressFile(File& in, File& out, LzssEncoder& encoder)
{
    std::vector<uint8_t> input(kChunk + lzss::kMaxMatch);
    std::vector<uint8_t> output(lzss::CompressBound(input.size()) + lzss::kMaxGroupSize);
    size_t held = 0;  // unconsumed input carried to the next round
    bool last = false;
    while (!encoder.Finished()) {
        if (!last) {
            const size_t n = in.Read(input.data() + held, input.size() - held);
            if (in.Failed())
                return false;
            held += n;
            last = in.AtEnd() || n == 0;
        }
        size_t consumed = 0;
        const size_t written = encoder.Encode(input.data(), held, last, output.data(), output.size(), &consumed);
        if (!out.Write(output.data(), written))
            return false;
        held -= consumed;
        std::memmove(input.data(), input.data() + consumed, held);
    }
    return true;
}

bool DecompressFile(File& in, File& out)
{
    LzssDecoder decoder;
    FileSink sink(out);
    std::vector<uint8_t> input(kChunk + 2);
    size_t held = 0;
    for (;;) {
        const size_t n = in.Read(input.data() + held, input.size() - held);
        if (in.Failed())
            return false;
        held += n;
        const bool last = in.AtEnd() || n == 0;
        size_t consumed = 0;
        if (!decoder.Decode(input.data(), held, last, &consumed, sink))
            return false;
        if (last)
            return true;
        held -= consumed;
        std::memmove(input.data(), input.data() + consumed, held);
    }
}
