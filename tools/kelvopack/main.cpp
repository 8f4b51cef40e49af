// kelvopack: starts Kelvo projects, builds setups from them, and lists,
// verifies and extracts setups. Exit codes: 0 success, 1 failure, 2 wrong
// usage.
#include "BuildCommand.h"
#include "CompressCommand.h"
#include "DecompressCommand.h"
#include "ExtractCommand.h"
#include "InitCommand.h"
#include "ListCommand.h"
#include "ToolError.h"
#include "VerifyCommand.h"

#include <CLI/CLI.hpp>

#include <cstdio>
#include <exception>
#include <new>

#ifndef KELVOPACK_VERSION
#define KELVOPACK_VERSION "0"
#endif

namespace {

constexpr int kFailure = 1;
constexpr int kUsage = 2;

// Every line of a message, each marked as ours.
void PrintError(const std::string& message)
{
    size_t start = 0;
    while (start <= message.size()) {
        const size_t end = message.find('\n', start);
        std::fprintf(stderr, "kelvopack: %s\n", message.substr(start, end - start).c_str());
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
}

// Runs the command line; exceptions that escape a command end here.
int Main(int argc, char** argv)
{
    CLI::App app{"kelvopack: builds Kelvo setups from a project file, and lists, verifies and extracts them.",
                 "kelvopack"};
    app.set_version_flag("--version", "kelvopack " KELVOPACK_VERSION);
    app.require_subcommand(1);

    init_command::Options init;
    build_command::Options build;
    list_command::Options list;
    verify_command::Options verify;
    extract_command::Options extract;
    compress_command::Options compress;
    decompress_command::Options decompress;
    CLI::App* initCmd = init_command::setup(app, init);
    CLI::App* buildCmd = build_command::setup(app, build);
    CLI::App* listCmd = list_command::setup(app, list);
    CLI::App* verifyCmd = verify_command::setup(app, verify);
    CLI::App* extractCmd = extract_command::setup(app, extract);
    CLI::App* compressCmd = compress_command::setup(app, compress);
    CLI::App* decompressCmd = decompress_command::setup(app, decompress);

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        return app.exit(e) == 0 ? 0 : kUsage;
    }

    try {
        if (initCmd->parsed())
            return init_command::run(init);
        if (buildCmd->parsed())
            return build_command::run(build);
        if (listCmd->parsed())
            return list_command::run(list);
        if (verifyCmd->parsed())
            return verify_command::run(verify);
        if (extractCmd->parsed())
            return extract_command::run(extract);
        if (compressCmd->parsed())
            return compress_command::run(compress);
        if (decompressCmd->parsed())
            return decompress_command::run(decompress);
    } catch (const ToolError& e) {
        PrintError(e.what());
        return kFailure;
    } catch (const std::bad_alloc&) {
        PrintError("out of memory");
        return kFailure;
    } catch (const std::exception& e) {
        PrintError(e.what());
        return kFailure;
    }
    return kUsage;
}

}  // namespace

int main(int argc, char** argv)
{
    try {
        return Main(argc, argv);
    } catch (...) {
        // Building the command line itself failed: nothing sensible to say.
        std::fputs("kelvopack: internal error\n", stderr);
        return kFailure;
    }
}
