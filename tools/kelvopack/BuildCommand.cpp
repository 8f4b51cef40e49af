#include "BuildCommand.h"

#include "MemberCache.h"
#include "Platform.h"
#include "Progress.h"
#include "ProjectCheck.h"
#include "ProjectFile.h"
#include "ProjectWarnings.h"
#include "SetupPlan.h"
#include "SetupWriter.h"
#include "StandIns.h"
#include "StubLocator.h"
#include "ToolError.h"

#include <CLI/CLI.hpp>

#include <cstdio>
#include <thread>

namespace build_command {

CLI::App* setup(CLI::App& app, Options& options)
{
    CLI::App* cmd = app.add_subcommand("build", "Build a setup from a project file");
    cmd->add_option("project", options.project, "The project file (TOML)")->required();
    cmd->add_option("-o,--output", options.output, "The setup to write")->required();
    cmd->add_option("--stub", options.stub,
                    "The setup program to put in front of the package (default: kelvo.exe, or kelvo-admin.exe "
                    "for level = \"admin\", beside kelvopack or in ../share/kelvo); a file, or by name one of those "
                    "or their 64-bit builds kelvo64.exe and kelvo64-admin.exe");
    cmd->add_flag("-q,--quiet", options.quiet, "No progress bar and no summary");
    cmd->add_option("-j,--jobs", options.jobs, "Members compressed at once (default: one per core)")
        ->check(CLI::Range(1u, 1024u));
    cmd->add_flag("--best", options.best,
                  "Choose the matches for the smallest setup the format allows: 1 to 3 % smaller, about as fast; "
                  "any setup program reads it");
    cmd->add_flag("--no-cache", options.noCache,
                  "Compress every member anew and keep none: by default the compressed members are kept in "
                  "$XDG_CACHE_HOME/kelvopack (~/.cache/kelvopack; %LOCALAPPDATA%\\kelvopack on Windows), at most "
                  "KELVOPACK_CACHE_SIZE bytes (K, M or G; default 1G, the oldest used dropped first), so that a "
                  "rebuild compresses only what changed; the setup is the same byte for byte");
    return cmd;
}

int run(const Options& options)
{
    Project project = LoadProject(options.project);
    std::string stub = options.stub;
    std::string missing;
    const StubLocator locator = StubLocator::ForThisProgram();
    const bool byName = StubLocator::IsStubName(stub) && !platform::FileExists(stub.c_str());
    if ((stub.empty() && !locator.Find(project.level, &stub, &missing)) ||
        (byName && !locator.Find(options.stub, &stub, &missing)))
        throw ToolError(missing);
    const std::vector<std::string> problems = CheckProject(&project, CheckInputs{options.output, stub});
    if (!problems.empty()) {
        std::string message;
        for (const std::string& p : problems)
            message += (message.empty() ? "" : "\n") + p;
        throw ToolError(message);
    }
    for (const std::string& remade : StandIns::Refresh(&project)) {
        if (!options.quiet)
            std::printf("%s: the stand-in made anew for the name \"%s\"\n", remade.c_str(), project.name.c_str());
    }
    // What the setup will do that its author would rather know now.
    for (const std::string& warning : ProjectWarnings(project))
        std::fprintf(stderr, "kelvopack: warning: %s\n", warning.c_str());

    SetupSettings settings;
    settings.stub = stub;
    settings.output = options.output;
    settings.threads = options.jobs > 0 ? options.jobs : std::max(1u, std::thread::hardware_concurrency());
    settings.progress = !options.quiet && Progress::ErrorIsTerminal();
    settings.best = options.best;
    if (!options.noCache) {
        std::string reason;
        if (!MemberCache::LimitFromEnvironment(&settings.cacheLimit, &reason))
            throw ToolError(reason);
        if (settings.cacheLimit > 0)
            settings.cacheFolder = MemberCache::DefaultFolder();
    }
    const SetupPlan plan(project, project.setupPath.empty() ? DefaultSetupPath(options.output) : project.setupPath);
    const SetupSummary summary = WriteSetup(plan, settings);
    if (!options.quiet) {
        const double ratio = summary.originalBytes > 0 ? 100.0 * static_cast<double>(summary.packedBytes) /
                                                             static_cast<double>(summary.originalBytes)
                                                       : 0.0;
        std::printf("%s: %zu files, %llu bytes packed into %llu (%.0f%%); setup %llu bytes\n", options.output.c_str(),
                    plan.Records().size(), static_cast<unsigned long long>(summary.originalBytes),
                    static_cast<unsigned long long>(summary.packedBytes), ratio,
                    static_cast<unsigned long long>(summary.setupSize));
    }
    return 0;
}

}  // namespace build_command
