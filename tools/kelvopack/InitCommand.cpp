#include "InitCommand.h"

#include "Codepage.h"
#include "File.h"
#include "Glob.h"
#include "Platform.h"
#include "ProjectCheck.h"
#include "ProjectFile.h"
#include "ProjectTemplate.h"
#include "StandIns.h"
#include "ToolError.h"

#include <CLI/CLI.hpp>

#include <cctype>
#include <cstdio>
#include <filesystem>
#include <iterator>

namespace fs = std::filesystem;

namespace init_command {

namespace {

constexpr size_t kLongestName = 40;
constexpr char kFallbackName[] = "My Application";

// A file name as UTF-8 (the project file's encoding), from the system's form.
std::string Utf8Name(const std::string& native)
{
    std::string ansi;
    std::string error;
    return codepage::NativeToAnsi(native, &ansi, &error) ? codepage::AnsiToUtf8(ansi) : native;
}

bool IsProgram(const std::string& relative)
{
    if (relative.find('/') != std::string::npos || relative.size() <= 4)
        return false;
    std::string extension = relative.substr(relative.size() - 4);
    for (char& c : extension)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return extension == ".exe";
}

// Whether `inner` is `outer` or lies inside it (both absolute, normalised).
bool Inside(const fs::path& inner, const fs::path& outer)
{
    auto i = inner.begin();
    for (auto o = outer.begin(); o != outer.end(); ++o, ++i) {
        if (o->empty() && std::next(o) == outer.end())
            break;  // a trailing separator
        if (i == inner.end() || *i != *o)
            return false;
    }
    return true;
}

// Writes `bytes` to `path` unless a file is there already; true if written.
bool WriteNew(const fs::path& path, const std::string& bytes)
{
    if (platform::FileExists(path.string().c_str()))
        return false;
    File file(path.string().c_str(), "wb");
    if (!file.IsOpen() || !file.Write(bytes.data(), bytes.size()) || !file.Close())
        throw ToolError(path.string() + ": cannot write it");
    return true;
}

}  // namespace

CLI::App* setup(CLI::App& app, Options& options)
{
    CLI::App* cmd = app.add_subcommand("init",
                                       "Write a project file that installs a folder, with stand-ins for "
                                       "the wizard's bitmap and texts");
    cmd->add_option("folder", options.folder, "The folder to install")->required();
    cmd->add_option("-o,--output", options.output, "The project file to write (default: setup.toml)");
    cmd->add_option("--name", options.name, "The application's name (default: the folder's name)");
    return cmd;
}

int run(const Options& options)
{
    if (!platform::FolderExists(options.folder.c_str()))
        throw ToolError(options.folder + ": no such folder");
    const fs::path folder = fs::absolute(options.folder).lexically_normal();
    const fs::path project = fs::absolute(options.output).lexically_normal();
    if (platform::FileExists(options.output.c_str()) || platform::FolderExists(options.output.c_str()))
        throw ToolError(options.output + ": already exists; kelvopack init does not overwrite it");
    // The project and its stand-ins would be installed with the folder.
    if (Inside(project, folder))
        throw ToolError(options.output + ": lies inside the folder it would install; write it elsewhere with -o");

    std::vector<std::string> files;
    std::vector<Glob> all(1);
    std::string error;
    all[0].Compile("**", &error);
    if (!FindFiles(options.folder, all, {}, &files, &error))
        throw ToolError(error);
    if (files.empty())
        throw ToolError(options.folder + ": holds no file to install (names beginning with a dot are left out)");

    ProjectTemplate text;
    const fs::path base = folder.filename().empty() ? folder.parent_path().filename() : folder.filename();
    text.name = ProjectTemplate::UsableName(options.name.empty() ? Utf8Name(base.string()) : options.name, kLongestName,
                                            kFallbackName);
    const fs::path home = project.parent_path();
    fs::path relative = folder.lexically_relative(home);
    if (relative.empty())
        relative = folder;
    text.folder = Utf8Name(relative.generic_string());
    while (text.folder.size() > 1 && text.folder.back() == '/')
        text.folder.pop_back();
    for (const std::string& file : files) {
        if (IsProgram(file))
            text.programs.push_back(Utf8Name(file));
        else
            text.others = true;
    }

    std::error_code made;
    fs::create_directories(home, made);
    std::string ansiName;
    codepage::Utf8ToAnsi(text.name, &ansiName, &error);  // UsableName keeps only what converts
    std::vector<std::string> written;
    std::vector<std::string> kept;
    const std::string* standIns[3] = {&text.bitmap, &text.presentation, &text.agreement};
    for (int role = 0; role < 3; ++role) {
        const std::string& name = *standIns[role];
        (WriteNew(home / name, StandIns::Make(role, ansiName)) ? written : kept).push_back(name);
    }
    if (!WriteNew(project, text.Text()))
        throw ToolError(options.output + ": already exists; kelvopack init does not overwrite it");

    std::printf("%s: installs %zu files of %s", options.output.c_str(), files.size(), options.folder.c_str());
    if (!written.empty()) {
        std::printf("; stand-ins to replace:");
        for (const std::string& name : written)
            std::printf(" %s", name.c_str());
    }
    if (!kept.empty()) {
        std::printf("; kept:");
        for (const std::string& name : kept)
            std::printf(" %s", name.c_str());
    }
    std::printf("\n");

    // A project that cannot be built as written (names of the folder that
    // the setup cannot hold, say) is reported now rather than at the build.
    Project loaded;
    std::vector<std::string> problems;
    try {
        loaded = LoadProject(project.string());
        problems = CheckProject(&loaded, CheckInputs{(home / "setup.exe").string(), std::string()});
    } catch (const ToolError& e) {
        problems.push_back(e.what());
    }
    if (!problems.empty()) {
        std::string message = options.output + " needs editing before it builds:";
        for (const std::string& problem : problems)
            message += "\n" + problem;
        throw ToolError(message);
    }
    std::printf("next: kelvopack build %s -o setup.exe\n", options.output.c_str());
    return 0;
}

}  // namespace init_command
