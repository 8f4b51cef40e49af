#include "CompressCommand.h"

#include "CodecFiles.h"
#include "LzssEncoder.h"
#include "LzssFiles.h"

#include <CLI/CLI.hpp>

#include <memory>

namespace compress_command {

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
    const bool ok = CompressFile(files.In(), files.Out(), *encoder);
    files.Finish();  // reports a read or write error
    if (!ok)
        files.WriteFailed();
    return 0;
}

}  // namespace compress_command
