#include "SystemFolders.h"

#include "Limits.h"
#include "Platform.h"
#include "SetupLayout.h"

#include <windows.h>
#include <shlobj.h>

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
    std::string real = platform::RealPath(folder.c_str());
    if (real.compare(0, 4, "\\\\?\\") == 0)
        real = real.substr(4);
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

}  // namespace

std::string WindowsFolder()
{
    char windows[kPathSize + 1] = "";
    const UINT n = GetWindowsDirectoryA(windows, sizeof windows);
    if (n == 0 || n >= sizeof windows)
        return std::string();
    return std::string(windows, n);
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
