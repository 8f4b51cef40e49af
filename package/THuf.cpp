#include "THuf.h"

#include "File.h"
#include "FileSink.h"
#include "LzssDecoder.h"
#include "LzssEncoder.h"
#include "Report.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

namespace {

constexpr size_t kChunk = size_t(1) << 20;

void PrintProgress(void* /*context*/, uint64_t bytesRead)
{
    std::printf("%12" PRIu64 "\r", bytesRead);
}

bool Encode(File& in, File& out)
{
    auto encoder = std::make_unique<LzssEncoder>();
    encoder->SetProgress(&PrintProgress, nullptr);
    std::vector<uint8_t> input(kChunk + lzss::kMaxMatch);
    std::vector<uint8_t> output(lzss::CompressBound(input.size()) + lzss::kMaxGroupSize);
    size_t held = 0;  // unconsumed input carried to the next round
    bool last = false;
    while (!encoder->Finished()) {
        if (!last) {
            const size_t n = in.Read(input.data() + held, input.size() - held);
            if (in.Failed())
                return false;
            held += n;
            last = in.AtEnd() || n == 0;
        }
        size_t consumed = 0;
        const size_t written = encoder->Encode(input.data(), held, last, output.data(),
                                               output.size(), &consumed);
        if (!out.Write(output.data(), written))
            return false;
        held -= consumed;
        std::memmove(input.data(), input.data() + consumed, held);
    }
    const uint64_t in_bytes = encoder->BytesIn();
    const uint64_t out_bytes = encoder->BytesOut();
    if (in_bytes > 0) {
        std::printf("In : %" PRIu64 " bytes\n", in_bytes);
        std::printf("Out: %" PRIu64 " bytes\n", out_bytes);
        std::printf("Out/In: %.3f\n", static_cast<double>(out_bytes) / static_cast<double>(in_bytes));
    }
    std::fflush(stdout);
    return true;
}

bool Decode(File& in, File& out)
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

}  // namespace

THuf::THuf(const char* source, const char* target, int Mode)
{
    File in(source, "rb");
    if (!in.IsOpen())
        FatalMessage("THuf", "Error!", kMbOk);
    File out(target, "wb");
    if (!out.IsOpen())
        FatalMessage("THuf", "Error!", kMbOk);
    const bool coded = Mode == 1 ? Encode(in, out) : Decode(in, out);
    const bool closed = out.Close();
    ok = coded && closed;
}
