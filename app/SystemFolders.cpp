#include "SystemFolders.h"

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
        if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl.c_str(), SDDL_REVISION_1, &descriptor_,
                                                                  nullptr))
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
    return Status::Failure(Fault::kCannotCreate, "Can't create a working folder in \"" + temp +
                               "\".\nThe temporary folder must exist and be writable.",
                           "Error!");
}

std::string WindowsFolder()
{
    char windows[kPathSize + 1] = "";
    const UINT n = GetWindowsDirectoryA(windows, sizeof windows);
    if (n == 0 || n >= sizeof windows)
        return std::string();
    return std::string(windows, n);
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
    AddFolder(&folders.trees, WindowsFolder());
    const int shellFolders[] = {
        CSIDL_PROFILE,          CSIDL_PROGRAM_FILES,     CSIDL_PROGRAM_FILESX86,
        CSIDL_PROGRAM_FILES_COMMON, CSIDL_DESKTOPDIRECTORY, CSIDL_PERSONAL,
        CSIDL_APPDATA,          CSIDL_LOCAL_APPDATA,     CSIDL_COMMON_APPDATA,
        CSIDL_PROGRAMS,         CSIDL_COMMON_PROGRAMS,   CSIDL_COMMON_DESKTOPDIRECTORY,
        CSIDL_COMMON_DOCUMENTS, CSIDL_STARTMENU,         CSIDL_COMMON_STARTMENU,
    };
    for (const int csidl : shellFolders)
        AddFolder(&folders.folders, ShellFolder(csidl));
    return folders;
}

}  // namespace sysfolders
