#include "VerifyCommand.h"

#include "SetupCheck.h"

#include <CLI/CLI.hpp>

#include <cstdio>

namespace verify_command {

CLI::App* setup(CLI::App& app, Options& options)
{
    CLI::App* cmd =
        app.add_subcommand("verify",
                           "Check that every member of a setup lies where its script says and decodes to its size");
    cmd->add_option("setup", options.setup, "The setup executable")->required();
    cmd->add_flag("-q,--quiet", options.quiet, "Print problems only");
    return cmd;
}

int run(const Options& options)
{
    const SetupCheckResult result = CheckSetup(options.setup);
    for (const std::string& problem : result.problems)
        std::fprintf(stderr, "%s: %s\n", options.setup.c_str(), problem.c_str());
    if (!result.problems.empty()) {
        std::fprintf(stderr, "%s: %zu problem%s found\n", options.setup.c_str(), result.problems.size(),
                     result.problems.size() == 1 ? "" : "s");
        return 1;
    }
    if (!options.quiet)
        std::printf("%s: OK, %zu members, %llu bytes decoded from %llu, %s\n", options.setup.c_str(), result.members,
                    static_cast<unsigned long long>(result.originalBytes),
                    static_cast<unsigned long long>(result.packedBytes),
                    result.integrity == IntegrityReport::State::kIntact ? "checksums match"
                                                                        : "no checksums (made by an older kelvopack)");
    return 0;
}

}  // namespace verify_command
