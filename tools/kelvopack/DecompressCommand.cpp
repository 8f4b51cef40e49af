#include "DecompressCommand.h"

#include "CodecFiles.h"
#include "FileSink.h"
#include "LzssDecoder.h"

#include <CLI/CLI.hpp>

#include <cstring>
#include <vector>

namespace decompress_command {

namespace {

constexpr size_t kBlock = size_t(1) << 20;

}  // namespace

CLI::App* setup(CLI::App& app, Options& options)
{
    CLI::App* cmd = app.add_subcommand("decompress", "Decompress a raw LZSS stream, such as a setup member");
    cmd->add_option("input", options.input, "The compressed file")->required();
    cmd->add_option("output", options.output, "The file to write")->required();
    return cmd;
}

int run(const Options& options)
{
    CodecFiles files(options.input, options.output);
    LzssDecoder decoder;
    FileSink sink(files.Out());
    std::vector<uint8_t> input(kBlock + 2);
    size_t held = 0;
    bool last = false;
    while (!last) {
        const size_t want = input.size() - held;
        const size_t got = files.In().Read(input.data() + held, want);
        last = got < want;
        held += got;
        size_t consumed = 0;
        if (!decoder.Decode(input.data(), held, last, &consumed, sink))
            files.WriteFailed();
        held -= consumed;
        std::memmove(input.data(), input.data() + consumed, held);
    }
    files.Finish();
    return 0;
}

}  // namespace decompress_command
