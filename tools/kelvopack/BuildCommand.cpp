#include "BuildCommand.h"

#include "Platform.h"
#include "Progress.h"
#include "ProjectCheck.h"
#include "ProjectFile.h"
#include "SetupPlan.h"
#include "SetupWriter.h"
#include "ToolError.h"

#include <CLI/CLI.hpp>

#include <cstdio>
#include <thread>

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <unistd.h>
#endif

#ifndef KELVOPACK_DEFAULT_STUB
#define KELVOPACK_DEFAULT_STUB "kelvo.exe"
#endif

namespace build_command {

namespace {

// The folder of this program, to find a stub that lies beside it.
std::string ProgramFolder()
{
#ifdef _WIN32
    char buffer[MAX_PATH];
    const DWORD n = GetModuleFileNameA(nullptr, buffer, MAX_PATH);
    std::string self = n > 0 && n < MAX_PATH ? std::string(buffer, n) : std::string();
#else
    char buffer[4096];
    const ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    std::string self = n > 0 ? std::string(buffer, static_cast<size_t>(n)) : std::string();
#endif
    const size_t cut = self.find_last_of("/\\");
    return cut == std::string::npos ? std::string(".") : self.substr(0, cut);
}

bool IsAbsolute(const std::string& path)
{
    return (!path.empty() && (path[0] == '/' || path[0] == '\\')) || (path.size() >= 2 && path[1] == ':');
}

}  // namespace

std::string DefaultStub()
{
    const std::string stub = KELVOPACK_DEFAULT_STUB;
#ifdef _WIN32
    const char* separator = "\\";
#else
    const char* separator = "/";
#endif
    return IsAbsolute(stub) ? stub : ProgramFolder() + separator + stub;
}

CLI::App* setup(CLI::App& app, Options& options)
{
    CLI::App* cmd = app.add_subcommand("build", "Build a setup from a project file");
    cmd->add_option("project", options.project, "The project file (TOML)")->required();
    cmd->add_option("-o,--output", options.output, "The setup to write")->required();
    cmd->add_option("--stub", options.stub, "The setup program to put in front of the package (default: " +
                                                DefaultStub() + ")");
    cmd->add_flag("-q,--quiet", options.quiet, "No progress bar and no summary");
    cmd->add_option("-j,--jobs", options.jobs, "Members compressed at once (default: one per core)")
        ->check(CLI::Range(1u, 1024u));
    return cmd;
}

int run(const Options& options)
{
    const std::string stub = options.stub.empty() ? DefaultStub() : options.stub;
    if (options.stub.empty() && !platform::FileExists(stub.c_str()))
        throw ToolError("\"" + stub + "\": the default stub does not exist; build the setup program "
                        "(cmake --preset mingw-i686 && cmake --build --preset mingw-i686) or give --stub");

    Project project = LoadProject(options.project);
    const std::vector<std::string> problems = CheckProject(&project, CheckInputs{options.output, stub});
    if (!problems.empty()) {
        std::string message;
        for (const std::string& p : problems)
            message += (message.empty() ? "" : "\n") + p;
        throw ToolError(message);
    }

    SetupSettings settings;
    settings.stub = stub;
    settings.output = options.output;
    settings.threads = options.jobs > 0 ? options.jobs : std::max(1u, std::thread::hardware_concurrency());
    settings.progress = !options.quiet && Progress::ErrorIsTerminal();
    const SetupPlan plan(project, project.setupPath.empty() ? DefaultSetupPath(options.output) : project.setupPath);
    const SetupSummary summary = WriteSetup(plan, settings);
    if (!options.quiet) {
        const double ratio = summary.originalBytes > 0
                                 ? 100.0 * static_cast<double>(summary.packedBytes) / static_cast<double>(summary.originalBytes)
                                 : 0.0;
        std::printf("%s: %zu files, %llu bytes packed into %llu (%.0f%%); setup %llu bytes\n", options.output.c_str(),
                    plan.Records().size(), static_cast<unsigned long long>(summary.originalBytes),
                    static_cast<unsigned long long>(summary.packedBytes), ratio,
                    static_cast<unsigned long long>(summary.setupSize));
    }
    return 0;
}

}  // namespace build_command
