#include "SystemFolders.h"

#include "Elevation.h"
#include "Limits.h"
#include "Platform.h"
#include "SetupLayout.h"

#include <windows.h>
#include <sddl.h>
#include <shlobj.h>

#include <vector>

namespace sysfolders {

namespace {

// A folder in its full form, and under its real name when that differs.
void AddFolder(std::vector<std::string>* list, const std::string& folder)
{
    if (folder.empty())
        return;
    const std::string full = guard::FullFolder(folder, folder);
    if (!full.empty())
        list->push_back(full);
    // FullFolder takes off the "\\?\" the system puts before a real name.
    const std::string real = platform::RealPath(folder.c_str());
    const std::string realFull = guard::FullFolder(real, folder);
    if (!real.empty() && !realFull.empty() && realFull != full)
        list->push_back(realFull);
}

std::string ShellFolder(int csidl)
{
    char path[MAX_PATH + 1] = "";
    if (FAILED(SHGetFolderPathA(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path)))
        return std::string();
    return path;
}

// What a GetWindowsDirectory-like call answers; empty when it fails or the
// answer does not fit a path buffer.
std::string FolderAnswer(UINT(WINAPI* ask)(LPSTR, UINT))
{
    char folder[kPathSize + 1] = "";
    const UINT n = ask != nullptr ? ask(folder, sizeof folder) : 0;
    if (n == 0 || n >= sizeof folder)
        return std::string();
    return std::string(folder, n);
}

// The 32-bit system folder of a 64-bit Windows; empty elsewhere (looked up,
// not linked: older systems lack the call).
std::string Wow64SystemFolder()
{
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    const FARPROC found = kernel != nullptr ? GetProcAddress(kernel, "GetSystemWow64DirectoryA") : nullptr;
    if (found == nullptr)
        return std::string();
    return FolderAnswer(reinterpret_cast<UINT(WINAPI*)(LPSTR, UINT)>(reinterpret_cast<void*>(found)));
}

// A text with its %variables% expanded; empty when it does not fit.
std::string Expanded(const std::string& text)
{
    char expanded[kPathSize + 1] = "";
    const DWORD n = ExpandEnvironmentStringsA(text.c_str(), expanded, sizeof expanded);
    if (n == 0 || n > sizeof expanded)
        return std::string();
    return expanded;
}

// Owns one registry key opened for reading, in the machine's own view: a
// 32-bit program is otherwise shown the keys of 32-bit programs.
class RegistryReader {
public:
    RegistryReader(HKEY root, const char* path)
    {
        if (RegOpenKeyExA(root, path, 0, KEY_READ | KEY_WOW64_64KEY, &key_) != ERROR_SUCCESS &&
            RegOpenKeyExA(root, path, 0, KEY_READ, &key_) != ERROR_SUCCESS)
            key_ = nullptr;
    }
    ~RegistryReader()
    {
        if (key_ != nullptr)
            RegCloseKey(key_);
    }
    RegistryReader(const RegistryReader&) = delete;
    RegistryReader& operator=(const RegistryReader&) = delete;

    // A text value (expanded where it is stored to be); empty when absent.
    std::string Text(const char* name) const
    {
        char value[kPathSize + 1] = "";
        DWORD type = 0;
        DWORD size = sizeof value - 1;
        if (key_ == nullptr ||
            RegQueryValueExA(key_, name, nullptr, &type, reinterpret_cast<BYTE*>(value), &size) != ERROR_SUCCESS ||
            (type != REG_SZ && type != REG_EXPAND_SZ))
            return std::string();
        value[size < sizeof value ? size : sizeof value - 1] = '\0';
        return type == REG_EXPAND_SZ ? Expanded(value) : std::string(value);
    }
    // The names of its sub-keys.
    std::vector<std::string> SubKeys() const
    {
        std::vector<std::string> names;
        char name[256];
        for (DWORD i = 0; key_ != nullptr; ++i) {
            DWORD size = sizeof name;
            if (RegEnumKeyExA(key_, i, name, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
                break;
            names.emplace_back(name, size);
        }
        return names;
    }

private:
    HKEY key_ = nullptr;
};

const char kCurrentVersionKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion";
const char kProfileListKey[] = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";

// The program files folders of every architecture the machine runs. A
// 32-bit program is told the "(x86)" ones by the shell, so the native ones
// come from the variables and the registry values that name them all.
std::vector<std::string> ProgramFilesFolders()
{
    std::vector<std::string> folders;
    const char* const variables[] = {"ProgramFiles",       "ProgramFiles(x86)",      "ProgramW6432",
                                     "ProgramFiles(Arm)",  "CommonProgramFiles",     "CommonProgramFiles(x86)",
                                     "CommonProgramW6432", "CommonProgramFiles(Arm)"};
    for (const char* variable : variables) {
        char value[kPathSize + 1] = "";
        const DWORD n = GetEnvironmentVariableA(variable, value, sizeof value);
        if (n > 0 && n < sizeof value)
            folders.emplace_back(value, n);
    }
    const RegistryReader current(HKEY_LOCAL_MACHINE, kCurrentVersionKey);
    const char* const values[] = {"ProgramFilesDir",      "ProgramFilesDir (x86)", "ProgramFilesDir (Arm)",
                                  "ProgramW6432Dir",      "CommonFilesDir",        "CommonFilesDir (x86)",
                                  "CommonFilesDir (Arm)", "CommonW6432Dir"};
    for (const char* value : values)
        folders.push_back(current.Text(value));
    const int shellFolders[] = {CSIDL_PROGRAM_FILES, CSIDL_PROGRAM_FILESX86, CSIDL_PROGRAM_FILES_COMMON,
                                CSIDL_PROGRAM_FILES_COMMONX86};
    for (const int csidl : shellFolders)
        folders.push_back(ShellFolder(csidl));
    return folders;
}

// The system's list of profiles: where they lie, the default and the
// public one, and every user's own, not only the running user's.
std::vector<std::string> ProfileFolders()
{
    const RegistryReader list(HKEY_LOCAL_MACHINE, kProfileListKey);
    std::vector<std::string> folders = {list.Text("ProfilesDirectory"), list.Text("Default"), list.Text("Public"),
                                        list.Text("ProgramData")};
    for (const std::string& sid : list.SubKeys())
        folders.push_back(RegistryReader(HKEY_LOCAL_MACHINE, (std::string(kProfileListKey) + "\\" + sid).c_str())
                              .Text("ProfileImagePath"));
    return folders;
}

// The string form of the current user's SID; empty when it cannot be told.
std::string UserSid()
{
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return std::string();
    std::vector<uint8_t> buffer(256);
    DWORD needed = 0;
    std::string sid;
    if (GetTokenInformation(token, TokenUser, buffer.data(), static_cast<DWORD>(buffer.size()), &needed) ||
        (needed > buffer.size() && (buffer.resize(needed), true) &&
         GetTokenInformation(token, TokenUser, buffer.data(), needed, &needed))) {
        char* text = nullptr;
        if (ConvertSidToStringSidA(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid, &text)) {
            sid = text;
            LocalFree(text);
        }
    }
    CloseHandle(token);
    return sid;
}

// Owns a security descriptor made from its text form.
class SecurityDescriptor {
public:
    explicit SecurityDescriptor(const std::string& sddl)
    {
        if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl.c_str(), SDDL_REVISION_1, &descriptor_, nullptr))
            descriptor_ = nullptr;
    }
    ~SecurityDescriptor()
    {
        if (descriptor_ != nullptr)
            LocalFree(descriptor_);
    }
    SecurityDescriptor(const SecurityDescriptor&) = delete;
    SecurityDescriptor& operator=(const SecurityDescriptor&) = delete;

    PSECURITY_DESCRIPTOR Get() const { return descriptor_; }

private:
    PSECURITY_DESCRIPTOR descriptor_ = nullptr;
};

}  // namespace

Status MakeRunFolder(std::string* folder)
{
    const std::string temp = TemporaryFolder();
    const std::string sid = UserSid();
    // Protected from what the shared folder passes on to its sub-folders:
    // the user, the system and the administrators only.
    const SecurityDescriptor descriptor(sid.empty() ? std::string()
                                                    : "D:P(A;OICI;FA;;;" + sid + ")(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)");
    SECURITY_ATTRIBUTES attributes = {sizeof attributes, descriptor.Get(), FALSE};
    LARGE_INTEGER counter = {};
    QueryPerformanceCounter(&counter);
    uint32_t seed = static_cast<uint32_t>(counter.QuadPart) ^ (GetCurrentProcessId() << 16) ^ GetTickCount();
    for (int attempt = 0; attempt < 100 && !temp.empty(); ++attempt) {
        seed = seed * 1664525u + 1013904223u;
        const std::string candidate = temp + "\\" + layout::RunFolderName(seed);
        if (candidate.size() + 1 + 12 > kPathMax)
            break;
        if (CreateDirectoryA(candidate.c_str(), descriptor.Get() != nullptr ? &attributes : nullptr)) {
            *folder = candidate;
            return Status();
        }
        // Taken already, by anyone: never used, another name is drawn.
        if (GetLastError() != ERROR_ALREADY_EXISTS)
            break;
    }
    return Status::Failure(Fault::kCannotCreate,
                           "Can't create a working folder in \"" + temp +
                               "\".\nThe temporary folder must exist and be writable.",
                           "Error!");
}

std::string WindowsFolder()
{
    // The shared one: on a remote-desktop host GetWindowsDirectory may name
    // a private folder of the user's.
    return FolderAnswer(&GetSystemWindowsDirectoryA);
}

std::string CommandInterpreter()
{
    char system[kPathSize + 1] = "";
    const UINT n = GetSystemDirectoryA(system, sizeof system);
    if (n == 0 || n >= sizeof system)
        return "cmd.exe";
    return std::string(system, n) + "\\cmd.exe";
}

std::string TemporaryFolder()
{
    const std::string windows = WindowsFolder();
    if (windows.empty() || windows.size() + sizeof layout::kTempBelowWindows - 1 > kPathMax)
        return std::string();
    return windows + layout::kTempBelowWindows;
}

guard::ProtectedFolders ProtectedFolders()
{
    guard::ProtectedFolders folders;
    // The system's Windows folder, and the one this process is told (a
    // private one on a remote-desktop host for a program that is not aware
    // of it); the system folders of both widths, whatever redirection a
    // 32-bit program sees.
    for (const std::string& tree : {WindowsFolder(), FolderAnswer(&GetWindowsDirectoryA),
                                    FolderAnswer(&GetSystemDirectoryA), Wow64SystemFolder()})
        AddFolder(&folders.trees, tree);
    const int shellFolders[] = {
        CSIDL_PROFILE,          CSIDL_DESKTOPDIRECTORY, CSIDL_PERSONAL,
        CSIDL_APPDATA,          CSIDL_LOCAL_APPDATA,    CSIDL_COMMON_APPDATA,
        CSIDL_PROGRAMS,         CSIDL_COMMON_PROGRAMS,  CSIDL_COMMON_DESKTOPDIRECTORY,
        CSIDL_COMMON_DOCUMENTS, CSIDL_STARTMENU,        CSIDL_COMMON_STARTMENU,
    };
    for (const int csidl : shellFolders)
        AddFolder(&folders.folders, ShellFolder(csidl));
    for (const std::string& folder : ProgramFilesFolders())
        AddFolder(&folders.folders, folder);
    for (const std::string& folder : ProfileFolders())
        AddFolder(&folders.folders, folder);
    return folders;
}

const char* DestinationAccess(const std::string& destination)
{
    if (!RunsElevated())
        return nullptr;
    std::vector<std::string> programFiles;
    for (const std::string& folder : ProgramFilesFolders()) {
        if (!folder.empty())
            programFiles.push_back(guard::FullFolder(folder, folder));
    }
    return guard::DestinationAccess(true, destination, programFiles);
}

}  // namespace sysfolders
