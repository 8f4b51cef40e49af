#include "TStartMenuGroup.h"

#include "Elevation.h"
#include "FileSys.h"
#include "Platform.h"
#include "StartMenuNames.h"

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <vector>

namespace {

const char kCaption[] = "Create Group";

// The programs folder of the Start Menu, made if asked to and missing;
// empty when the system has none.
std::string ProgramsFolder(int csidl, bool make)
{
    char path[MAX_PATH + 1] = "";
    if (FAILED(SHGetFolderPathA(nullptr, csidl | (make ? CSIDL_FLAG_CREATE : 0), nullptr, SHGFP_TYPE_CURRENT, path)))
        return std::string();
    return path;
}

// The shell's link object and its interfaces, named here: the import
// library that names them all would add some 100 KB of identifiers.
const CLSID kShellLink = {0x00021401, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID kShellLinkA = {0x000214EE, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID kPersistFile = {0x0000010B, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

// A path as the file interface takes it; false when it does not fit.
bool Wide(const std::string& text, wchar_t (&wide)[MAX_PATH + 1])
{
    return MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, wide, MAX_PATH + 1) > 0;
}

// COM for this thread while it lives, unless the thread had it already.
class ComScope {
public:
    ComScope() : result_(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
    ~ComScope()
    {
        if (SUCCEEDED(result_))
            CoUninitialize();
    }
    ComScope(const ComScope&) = delete;
    ComScope& operator=(const ComScope&) = delete;

    // A thread that has COM of another kind can still use it.
    bool Ready() const { return SUCCEEDED(result_) || result_ == RPC_E_CHANGED_MODE; }

private:
    HRESULT result_;
};

// A shell link object with its file interface, released when it goes.
class LinkObject {
public:
    LinkObject()
    {
        if (FAILED(CoCreateInstance(kShellLink, nullptr, CLSCTX_INPROC_SERVER, kShellLinkA,
                                    reinterpret_cast<void**>(&link_))) ||
            FAILED(link_->QueryInterface(kPersistFile, reinterpret_cast<void**>(&file_))))
            file_ = nullptr;
    }
    ~LinkObject()
    {
        if (file_ != nullptr)
            file_->Release();
        if (link_ != nullptr)
            link_->Release();
    }
    LinkObject(const LinkObject&) = delete;
    LinkObject& operator=(const LinkObject&) = delete;

    bool Ready() const { return file_ != nullptr; }
    IShellLinkA* Link() const { return link_; }
    IPersistFile* File() const { return file_; }

private:
    IShellLinkA* link_ = nullptr;
    IPersistFile* file_ = nullptr;
};

// The command a shortcut file leads to; empty when it cannot be read.
std::string Target(const std::string& shortcut)
{
    LinkObject link;
    char target[MAX_PATH + 1] = "";
    wchar_t file[MAX_PATH + 1];
    if (!Wide(shortcut, file) || !link.Ready() || FAILED(link.File()->Load(file, STGM_READ)) ||
        FAILED(link.Link()->GetPath(target, sizeof target, nullptr, SLGP_RAWPATH)))
        return std::string();
    return target;
}

}  // namespace

Status TStartMenuGroup::CreateGroup(const char* nome)
{
    const std::string name = nome != nullptr ? nome : "";
    const std::string programs = ProgramsFolder(RunsElevated() ? CSIDL_COMMON_PROGRAMS : CSIDL_PROGRAMS, true);
    group_ = startmenu::GroupFolder(programs, name);
    if (!group_.empty() && TryMakePath(group_.c_str()))
        return Status();
    group_.clear();
    return Status::Failure(Fault::kCannotCreate,
                           "Can't create the program group \"" + name + "\" in \"" + programs + "\".", kCaption);
}

Status TStartMenuGroup::AddItem(const char* arq, const char* nome)
{
    const std::string command = arq != nullptr ? arq : "";
    const startmenu::Item item = startmenu::ParseItem(command, nome != nullptr ? nome : "");
    const Status failure = Status::Failure(Fault::kCannotCreate, "Can't create the program item \"" + item.name + "\".",
                                           kCaption);
    if (group_.empty())
        return failure;
    const size_t slash = command.rfind('\\');
    const std::string folder = slash == std::string::npos ? std::string() : command.substr(0, slash);
    const ComScope com;
    LinkObject link;
    wchar_t file[MAX_PATH + 1];
    if (!Wide(startmenu::ShortcutFile(group_, item.name), file) || !com.Ready() || !link.Ready() ||
        FAILED(link.Link()->SetPath(command.c_str())) || FAILED(link.Link()->SetWorkingDirectory(folder.c_str())) ||
        FAILED(link.Link()->SetDescription(item.name.c_str())) ||
        (!item.icon.empty() && FAILED(link.Link()->SetIconLocation(item.icon.c_str(), item.iconIndex))) ||
        FAILED(link.File()->Save(file, TRUE)))
        return failure;
    return Status();
}

Status TStartMenuGroup::DeleteGroup(const char* nome, const std::string& destination)
{
    const ComScope com;
    if (!com.Ready())
        return Status::Failure(Fault::kUnreadable,
                               "Can't read the program items of \"" + std::string(nome != nullptr ? nome : "") + "\".",
                               kCaption);
    for (const int csidl : {CSIDL_PROGRAMS, CSIDL_COMMON_PROGRAMS}) {
        const std::string folder = startmenu::GroupFolder(ProgramsFolder(csidl, false), nome != nullptr ? nome : "");
        std::vector<platform::FolderEntry> entries;
        if (folder.empty() || platform::IsLink(folder.c_str()) || !platform::ListFolder(folder.c_str(), &entries))
            continue;
        for (const platform::FolderEntry& entry : entries) {
            const std::string shortcut = folder + entry.name;
            const bool lnk = entry.name.size() > 4 &&
                             lstrcmpiA(entry.name.c_str() + entry.name.size() - 4, ".lnk") == 0;
            if (entry.folder || entry.link || !lnk || !startmenu::IsOurs(Target(shortcut), destination))
                continue;
            if (!platform::RemoveFile(shortcut.c_str()))
                return Status::Failure(Fault::kPlatform, "Can't remove the program item \"" + shortcut + "\".",
                                       kCaption);
        }
        platform::RemoveFolder(folder.c_str());
    }
    return Status();
}
