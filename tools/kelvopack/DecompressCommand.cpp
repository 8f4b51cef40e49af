#include "DecompressCommand.h"

#include "CodecFiles.h"
#include "LzssFiles.h"

#include <CLI/CLI.hpp>

namespace decompress_command {

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
    const bool ok = DecompressFile(files.In(), files.Out());
    files.Finish();  // reports a read or write error
    if (!ok)
        files.WriteFailed();
    return 0;
}

}  // namespace decompress_command
