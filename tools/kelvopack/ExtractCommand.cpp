#include "ExtractCommand.h"

#include "Codepage.h"
#include "Platform.h"
#include "SetupArchive.h"
#include "SetupExtractor.h"
#include "SetupLayout.h"
#include "ToolError.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <filesystem>
#include <cstdio>
#include <set>
#include <thread>
#include <vector>

namespace extract_command {

CLI::App* setup(CLI::App& app, Options& options)
{
    CLI::App* cmd =
        app.add_subcommand("extract",
                           std::string("Extract a setup's files under their paths in the destination folder (display "
                                       "files as ") +
                               layout::kBitmap + ", " + layout::kPresentation + ", " + layout::kAgreement + "; name " +
                               layout::kScript + " for the script)");
    cmd->add_option("setup", options.setup, "The setup executable")->required();
    cmd->add_option("names", options.names, "Only these members (default: all)");
    cmd->add_option("-C,--directory", options.folder,
                    "Extract into this folder, made if missing (default: the current one)");
    cmd->add_flag("-q,--quiet", options.quiet, "Do not list the files extracted");
    cmd->add_option("-j,--jobs", options.jobs, "Members extracted at once (default: one per core)")
        ->check(CLI::Range(1u, 256u));
    return cmd;
}

int run(const Options& options)
{
    SetupArchive archive;
    std::string error;
    if (!archive.Open(options.setup, &error))
        throw ToolError(error);
    // The folder is made with its parents once the names asked for are
    // known to be there, so that a wrong one makes none.
    const bool exists = platform::FolderExists(options.folder.c_str());

    // The names asked for must all exist before anything is written.
    std::set<std::string> present;
    for (const SetupArchive::Member& m : archive.Members()) {
        for (const std::string& n : m.Names())
            present.insert(Slashed(n));
    }
    std::set<std::string> wanted;
    bool script = false;
    for (const std::string& name : options.names) {
        std::string ansi;
        if (!codepage::NativeToAnsi(Slashed(name), &ansi, &error))
            throw ToolError("\"" + options.setup + "\": no member named \"" + name + "\" (it holds " + error + ")");
        if (ansi == layout::kScript) {
            script = true;
            continue;
        }
        if (present.count(ansi) == 0)
            throw ToolError("\"" + options.setup + "\": no member named \"" + name + "\" (see kelvopack list)");
        wanted.insert(ansi);
    }

    std::error_code ec;
    if (!exists && !std::filesystem::create_directories(options.folder, ec))
        throw ToolError("\"" + options.folder + "\": cannot make the folder (" + ec.message() + ")");

    int problems = 0;
    const auto problem = [&](const std::string& what) {
        std::fprintf(stderr, "kelvopack: %s: %s\n", options.setup.c_str(), what.c_str());
        ++problems;
    };
    const auto done = [&](const std::string& shown) {
        if (!options.quiet)
            std::printf("  extracted: %s\n", shown.c_str());
    };
    for (const std::string& p : archive.Problems())
        problem(p);
    std::string shown;
    if (script) {
        SetupExtractor extractor(archive, options.folder);
        if (extractor.ExtractScript(&shown, &error))
            done(shown);
        else
            problem(error);
    }
    std::vector<ExtractTask> tasks;
    for (size_t k = 0; k < archive.Members().size(); ++k) {
        const SetupArchive::Member& m = archive.Members()[k];
        ExtractTask task{k, {}};
        for (const std::string& n : m.Names()) {
            if (options.names.empty() || wanted.count(Slashed(n)) != 0)
                task.names.push_back(n);
        }
        if (!task.names.empty()) {
            tasks.push_back(task);
        } else if (m.name.empty() && options.names.empty() && m.parsed) {
            problem(ScriptText::RecordKey(static_cast<int>(k)) + " (\"" + codepage::AnsiToUtf8(m.record.arq) +
                    "\"): skipped, the setup never extracts it under any name");
        }
    }
    const unsigned jobs = options.jobs > 0 ? options.jobs : std::max(1u, std::thread::hardware_concurrency());
    for (const ExtractOutcome& outcome : ExtractMembers(archive, options.folder, tasks, jobs)) {
        if (outcome.error.empty())
            done(outcome.shown);
        else
            problem("\"" + outcome.shown + "\": " + outcome.error);
    }
    return problems == 0 ? 0 : 1;
}

}  // namespace extract_command
