#include "THuf.h"

#include "File.h"
#include "LzssEncoder.h"
#include "LzssFiles.h"
#include "Report.h"

#include <cinttypes>
#include <cstdio>
#include <memory>

namespace {

void PrintProgress(void* /*context*/, uint64_t bytesRead)
{
    std::printf("%12" PRIu64 "\r", bytesRead);
}

// Compresses with the coder's progress and summary lines on standard output.
bool Encode(File& in, File& out)
{
    auto encoder = std::make_unique<LzssEncoder>();
    encoder->SetProgress(&PrintProgress, nullptr);
    if (!CompressFile(in, out, *encoder))
        return false;
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

enum class Outcome { kDone, kUnopenable, kFailed };

Outcome Run(const char* source, const char* target, int Mode)
{
    File in(source, "rb");
    if (!in.IsOpen())
        return Outcome::kUnopenable;
    File out(target, "wb");
    if (!out.IsOpen())
        return Outcome::kUnopenable;
    const bool coded = Mode == 1 ? Encode(in, out) : DecompressFile(in, out);
    const bool closed = out.Close();
    return coded && closed ? Outcome::kDone : Outcome::kFailed;
}

}  // namespace

THuf::THuf(const char* source, const char* target, int Mode)
{
    const Outcome outcome = Run(source, target, Mode);
    if (outcome == Outcome::kUnopenable)
        FatalMessage(kCannotOpen, "Error!", kMbOk);
    ok = outcome == Outcome::kDone;
}
