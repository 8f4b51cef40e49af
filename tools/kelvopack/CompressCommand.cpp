#include "CompressCommand.h"

#include "CodecFiles.h"
#include "LzssEncoder.h"

#include <CLI/CLI.hpp>

#include <cstring>
#include <memory>
#include <vector>

namespace compress_command {

namespace {

constexpr size_t kBlock = size_t(1) << 20;

}  // namespace

CLI::App* setup(CLI::App& app, Options& options)
{
    CLI::App* cmd = app.add_subcommand("compress", "Compress a file as a setup member (raw LZSS stream)");
    cmd->add_option("input", options.input, "The file to compress")->required();
    cmd->add_option("output", options.output, "The compressed file to write")->required();
    return cmd;
}

int run(const Options& options)
{
    CodecFiles files(options.input, options.output);
    auto encoder = std::make_unique<LzssEncoder>();
    std::vector<uint8_t> input(kBlock + lzss::kMaxMatch);
    std::vector<uint8_t> output(lzss::CompressBound(input.size()) + lzss::kMaxGroupSize);
    size_t held = 0;
    bool eof = false;
    while (!encoder->Finished()) {
        if (!eof) {
            const size_t want = input.size() - held;
            const size_t got = files.In().Read(input.data() + held, want);
            eof = got < want;
            held += got;
        }
        size_t consumed = 0;
        const size_t written = encoder->Encode(input.data(), held, eof, output.data(), output.size(), &consumed);
        if (!files.Out().Write(output.data(), written))
            files.WriteFailed();
        held -= consumed;
        std::memmove(input.data(), input.data() + consumed, held);
    }
    files.Finish();
    return 0;
}

}  // namespace compress_command
