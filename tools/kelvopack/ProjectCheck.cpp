#include "ProjectCheck.h"

#include "Codepage.h"
#include "File.h"
#include "GroupCommand.h"
#include "Limits.h"
#include "Lzss.h"
#include "NameRules.h"
#include "Platform.h"
#include "ScriptText.h"
#include "SetupLayout.h"
#include "SetupPlan.h"
#include "SetupProgram.h"
#include "StubLocator.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <filesystem>
#include <limits>
#include <map>
#include <utility>

namespace {

constexpr uint64_t kMaxSize = std::numeric_limits<uint32_t>::max();

std::string Quote(const std::string& ansi)
{
    return "\"" + codepage::AnsiToUtf8(ansi) + "\"";
}

std::string Absolute(const std::string& path)
{
    std::error_code ec;
    const std::filesystem::path p = std::filesystem::absolute(path, ec);
    return ec ? path : p.lexically_normal().generic_string();
}

// Measures a file; false, with a problem, when it is missing or too big.
// One look-up per regular file, no opening: projects hold thousands of
// files. Its stamp, when given, is kept for the build.
bool Measure(const std::string& source, const Origin& origin, uint64_t* size, std::vector<std::string>* problems,
             StatIndex::Stamp* stamp = nullptr, bool* stamped = nullptr)
{
    StatIndex::Stamp taken;
    const bool regular = StatIndex::StampOf(source, &taken);
    if (stamp != nullptr) {
        *stamp = taken;
        *stamped = regular;
    }
    int64_t modified = 0;
    if (regular)
        *size = taken.size;
    else if (!platform::FileExists(source.c_str()) || !platform::FileStamp(source.c_str(), size, &modified)) {
        // The path as resolved: relative sources start at the project's folder.
        problems->push_back(origin.Where() + ": " +
                            (platform::FolderExists(source.c_str())
                                 ? "\"" + source + "\" is a folder, not a file"
                                 : "cannot read \"" + source + "\" (missing or not readable)" +
                                       (Absolute(source) != source ? ": no file at " + Absolute(source) : "")));
        return false;
    }
    if (*size > kMaxSize) {
        problems->push_back(origin.Where() + ": \"" + source + "\" has " + std::to_string(*size) +
                            " bytes; the script holds sizes up to 4294967295 bytes (4 GiB - 1)");
        return false;
    }
    return true;
}

std::string BaseName(const std::string& path)
{
    const size_t cut = path.find_last_of("/\\");
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

// Whether writing `output` would overwrite `input`. Cheap tests first: the
// same name, or an existing output of the input's size.
bool SameAs(const std::string& input, uint64_t inputSize, const std::string& output, bool outputExists,
            uint64_t outputSize, const std::string& outputAbsolute)
{
    if (BaseName(input) == BaseName(output) && Absolute(input) == outputAbsolute)
        return true;
    return outputExists && inputSize == outputSize && platform::SameFile(input.c_str(), output.c_str());
}

}  // namespace

bool CheckRelativePath(const std::string& path, std::string* error)
{
    const std::string why = names::WhyNotRecordPath(path);
    if (!why.empty())
        *error = Quote(path) + " " + codepage::AnsiToUtf8(why);
    return why.empty();
}

bool CheckItemTitle(const std::string& title, std::string* error)
{
    const std::string why = names::WhyNotItemTitle(title);
    if (!why.empty())
        *error = "the item title " + Quote(title) + " " + codepage::AnsiToUtf8(why);
    return why.empty();
}

bool CheckGroupName(const std::string& name, std::string* error)
{
    const std::string why = names::WhyNotGroupName(name);
    if (!why.empty())
        *error = "the group name " + Quote(name) + " " + codepage::AnsiToUtf8(why);
    return why.empty();
}

bool CheckWindowsFolder(const std::string& folder, bool root, std::string* error)
{
    const bool drive = folder.size() >= 3 && std::isalpha(static_cast<unsigned char>(folder[0])) && folder[1] == ':' &&
                       folder[2] == '\\';
    if (!drive) {
        *error = Quote(folder) + " is no folder of the form X:\\...\\";
        return false;
    }
    if (folder.size() == 3) {
        if (!root)
            *error = Quote(folder) + " is a drive's root folder";
        return root;
    }
    const std::string why = names::WhyNotDestination(folder);
    if (!why.empty())
        *error = Quote(folder) + " " + codepage::AnsiToUtf8(why);
    return why.empty();
}

std::string DefaultSetupPath(const std::string& output)
{
    const size_t cut = output.find_last_of("/\\");
    const std::string name = cut == std::string::npos ? output : output.substr(cut + 1);
    std::string ansi;
    std::string error;
    return codepage::NativeToAnsi(name, &ansi, &error) ? ansi : std::string("setup.exe");
}

namespace {

// One check of a whole project, phase by phase; each phase adds its
// problems, naming where they are.
class ProjectChecker {
public:
    ProjectChecker(Project* project, const CheckInputs& inputs)
        : project_(*project),
          inputs_(inputs), top_{project->file, 0, 0}, display_{&project->bitmap, &project->presentation,
                                                               &project->agreement},
          setupPath_(project->setupPath.empty() ? DefaultSetupPath(inputs.output) : project->setupPath)
    {
    }

    std::vector<std::string> Run()
    {
        CheckFolders();
        const bool measured = MeasureFiles();
        CheckDisplayFiles(measured);
        CheckInstalledNames();
        CheckFolderClashes();
        CheckScript();
        CheckOutput();
        CheckStub();
        return std::move(problems_);
    }

private:
    void Problem(const Origin& origin, const std::string& what) { problems_.push_back(origin.Where() + ": " + what); }

    // The group, the destination folder, and the source folder the setup
    // cuts off every record.
    void CheckFolders();
    // Sizes of every file; false when any is missing or too big.
    bool MeasureFiles();
    // The bitmap is a BMP file; no two roles name one file.
    void CheckDisplayFiles(bool measured);
    // Names, titles and modes of the installed files; two files on one name.
    void CheckInstalledNames();
    // A file and a folder of the same name cannot both exist.
    void CheckFolderClashes();
    // The script's lines, and the names the installer registers.
    void CheckScript();
    // The output must not replace anything the build reads.
    void CheckOutput();
    // The stub is the bare setup program, unsigned, for the project's level.
    void CheckStub();

    Project& project_;
    const CheckInputs& inputs_;
    const Origin top_;
    DisplayFile* const display_[3];
    const std::string setupPath_;
    bool sourceFolderOk_ = false;
    std::map<std::string, size_t> folded_;  // folded installed path -> file index
    std::vector<std::string> problems_;
};

void ProjectChecker::CheckFolders()
{
    std::string error;
    if (!CheckGroupName(project_.group, &error))
        Problem(project_.groupOrigin, error);
    if (!CheckWindowsFolder(project_.destination, false, &error))
        Problem(project_.destinationOrigin, "the destination folder: " + error);
    sourceFolderOk_ = CheckWindowsFolder(project_.sourceFolder, true, &error);
    if (!sourceFolderOk_)
        Problem(project_.sourceFolderOrigin, "the source folder: " + error);
    if (sourceFolderOk_ && project_.sourceFolder.find('@') != std::string::npos) {
        Problem(project_.sourceFolderOrigin, "the source folder " + Quote(project_.sourceFolder) +
                                                 " holds \"@\", which the setup turns into a blank");
        sourceFolderOk_ = false;
    }
    size_t shortestDisplay = std::string::npos;
    for (const layout::DisplayRole& role : layout::kDisplayRoles)
        shortestDisplay = std::min(shortestDisplay, std::strlen(role.recordPath));
    if (sourceFolderOk_ && project_.sourceFolder.size() >= shortestDisplay) {
        Problem(project_.sourceFolderOrigin, "the source folder " + Quote(project_.sourceFolder) + " has " +
                                                 std::to_string(project_.sourceFolder.size()) +
                                                 " characters; the setup cuts that many off every record, " +
                                                 "the display files' too, so it may have at most " +
                                                 std::to_string(shortestDisplay - 1));
        sourceFolderOk_ = false;
    }
}

bool ProjectChecker::MeasureFiles()
{
    if (project_.files.empty())
        Problem(top_, "the project has no file to install");
    bool sizesOk = true;
    for (DisplayFile* file : display_)
        sizesOk = Measure(file->source, file->origin, &file->size, &problems_) && sizesOk;
    for (InstallFile& file : project_.files)
        sizesOk = Measure(file.source, file.origin, &file.size, &problems_, &file.stamp, &file.stamped) && sizesOk;
    return sizesOk;
}

void ProjectChecker::CheckDisplayFiles(bool measured)
{
    if (measured) {
        File bitmap(project_.bitmap.source.c_str(), "rb");
        char magic[2] = {0, 0};
        if (bitmap.Read(magic, 2) != 2 || magic[0] != 'B' || magic[1] != 'M')
            Problem(project_.bitmap.origin, "\"" + project_.bitmap.source + "\" is no BMP file");
    }
    for (int a = 0; a < 3; ++a) {
        for (int b = a + 1; b < 3; ++b) {
            const std::string& sa = display_[a]->source;
            const std::string& sb = display_[b]->source;
            if (Absolute(sa) == Absolute(sb) || platform::SameFile(sa.c_str(), sb.c_str()))
                Problem(display_[b]->origin, std::string("the ") + layout::kDisplayRoles[b].what +
                                                 " names the same file as the " + layout::kDisplayRoles[a].what +
                                                 " (\"" + sb + "\")");
        }
    }
}

void ProjectChecker::CheckInstalledNames()
{
    // The setup writes its own files and a copy of itself into the
    // destination folder.
    const size_t slash = setupPath_.find_last_of('\\');
    const std::string setupName = slash == std::string::npos ? setupPath_ : setupPath_.substr(slash + 1);
    const std::string foldedSetupName = layout::FoldCase(setupName);
    std::string error;
    for (size_t i = 0; i < project_.files.size(); ++i) {
        const InstallFile& file = project_.files[i];
        if (!CheckRelativePath(file.path, &error))
            Problem(file.origin, error);
        if (!file.title.empty() && !CheckItemTitle(file.title, &error))
            Problem(file.origin, error);
        if (!file.modes.Shares(project_.modes))
            Problem(file.origin, "\"" + file.source + "\" is in none of the modes the setup offers (" +
                                     project_.modes.Letters() + "), so it would never be installed");
        std::string folded = layout::FoldCase(file.path);
        if (layout::IsReservedName(file.path) || folded == foldedSetupName)
            Problem(file.origin, Quote(file.path) + " is a name the setup itself uses in the destination folder");
        const auto [at, fresh] = folded_.emplace(std::move(folded), i);
        if (!fresh)
            Problem(file.origin, "two files go to " + Quote(file.path) + " (\"" + project_.files[at->second].source +
                                     "\" and \"" + file.source + "\")");
    }
}

void ProjectChecker::CheckFolderClashes()
{
    for (const auto& [key, index] : folded_) {
        for (size_t cut = key.find('\\'); cut != std::string::npos; cut = key.find('\\', cut + 1)) {
            const auto clash = folded_.find(key.substr(0, cut));
            if (clash != folded_.end())
                Problem(project_.files[index].origin, Quote(project_.files[index].path) +
                                                          " needs a folder where the file " +
                                                          Quote(project_.files[clash->second].path) + " goes");
        }
    }
}

void ProjectChecker::CheckScript()
{
    const SetupPlan plan(project_, setupPath_);
    std::string error;
    for (const auto& [key, value] : plan.Settings()) {
        if (!ScriptText::CheckEntry(key, value, &error))
            Problem(key == kKeyArqMontagem ? project_.setupPathOrigin : top_, "the setting " + key + ": " + error);
    }
    if (!sourceFolderOk_)
        return;
    for (size_t k = 0; k < plan.Records().size(); ++k) {
        const SetupPlan::Record& r = plan.Records()[k];
        ScriptRecord widest = r.record;
        widest.TamComp = static_cast<uint32_t>(std::min<uint64_t>(lzss::CompressBound(r.size), kMaxSize));
        if (!ScriptText::CheckEntry(ScriptText::RecordKey(static_cast<int>(k)), ScriptText::FormatRecord(widest),
                                    &error))
            Problem(r.origin, "the record of " + Quote(r.record.arq) + ": " + error);
        // Start-up matches the display records by their whole paths;
        // only installed files are registered under their names.
        if (r.role >= 0)
            continue;
        const std::string name = plan.MemberName(k);
        if (name.size() > kMemberNameMax)
            Problem(r.origin, Quote(name) + " has " + std::to_string(name.size()) +
                                  " characters; the setup's file table holds names of at most " +
                                  std::to_string(kMemberNameMax));
        const std::string installed = project_.destination + project_.files[k].path;
        if (installed.size() > kPathMax)
            Problem(r.origin, Quote(installed) + " has " + std::to_string(installed.size()) +
                                  " characters; the setup's paths hold at most " + std::to_string(kPathMax));
        else if (groupcommand::CommandBuffer command;
                 r.record.Grupo && !groupcommand::AddItem(command, installed.c_str(), r.record.nome.c_str()))
            Problem(r.origin, "the program item of " + Quote(installed) + " titled " + Quote(r.record.nome) +
                                  " does not fit the program group command (" +
                                  std::to_string(groupcommand::kMaxCommandLength) + " characters)");
    }
}

void ProjectChecker::CheckOutput()
{
    const Origin output{inputs_.output, 0, 0};
    if (platform::FolderExists(inputs_.output.c_str()))
        Problem(output, "the output is a folder");
    uint64_t outputSize = 0;
    int64_t outputModified = 0;
    const bool outputExists = platform::FileStamp(inputs_.output.c_str(), &outputSize, &outputModified);
    const std::string outputAbsolute = Absolute(inputs_.output);
    struct Input {
        const std::string& path;
        uint64_t size;
        std::string what;
    };
    uint64_t projectSize = 0;
    int64_t unused = 0;
    platform::FileStamp(project_.file.c_str(), &projectSize, &unused);
    std::vector<Input> inputsRead = {{project_.file, projectSize, "the project file"}};
    if (!inputs_.stub.empty()) {
        uint64_t stubBytes = 0;
        platform::FileStamp(inputs_.stub.c_str(), &stubBytes, &unused);
        inputsRead.push_back({inputs_.stub, stubBytes, "the stub"});
    }
    for (int role = 0; role < 3; ++role)
        inputsRead.push_back(
            {display_[role]->source, display_[role]->size, std::string("the ") + layout::kDisplayRoles[role].what});
    for (const InstallFile& file : project_.files)
        inputsRead.push_back({file.source, file.size, "an input file"});
    for (const Input& input : inputsRead) {
        if (SameAs(input.path, input.size, inputs_.output, outputExists, outputSize, outputAbsolute)) {
            Problem(output, "the output is " + input.what + " (\"" + input.path + "\")");
            break;
        }
    }
}

void ProjectChecker::CheckStub()
{
    if (inputs_.stub.empty())
        return;
    const Origin stubOrigin{inputs_.stub, 0, 0};
    SetupProgram stub;
    std::string why;
    if (!stub.Inspect(inputs_.stub, &why)) {
        Problem(stubOrigin, stub.readable ? "the stub is no Kelvo setup program (kelvo.exe or kelvo-admin.exe): " + why
                                          : "cannot read the stub (the setup program to put in front of the package)");
        return;
    }
    if (stub.certificateSize > 0) {
        Problem(stubOrigin,
                "the stub is signed; appending a package breaks its signature: "
                "use an unsigned stub and sign the finished setup");
    } else if (stub.behindImage > 0) {
        Problem(stubOrigin, "the stub carries " + std::to_string(stub.behindImage) +
                                " bytes behind its program: it is a finished setup, not the setup program");
    }
    if (stub.level && *stub.level != project_.level) {
        const bool admin = *stub.level == ExecutionLevel::Admin;
        Problem(stubOrigin, std::string("the stub asks for ") +
                                (admin ? "an administrator's rights" : "its user's rights") +
                                ", but the project's level is \"" + LevelName(project_.level) + "\": use " +
                                StubLocator::StubName(project_.level, stub.machine == 0x8664) + ", or set level = \"" +
                                LevelName(*stub.level) + "\"");
    }
}

}  // namespace

std::vector<std::string> CheckProject(Project* project, const CheckInputs& inputs)
{
    return ProjectChecker(project, inputs).Run();
}
