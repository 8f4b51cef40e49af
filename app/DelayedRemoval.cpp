#include "DelayedRemoval.h"

#include "SystemFolders.h"

#include "PathSplit.h"
#include "Platform.h"

#include <windows.h>

namespace delayed {

std::string LogonCommand(const std::string& interpreter, const std::string& file, const std::string& folder)
{
    // "rd" without /s: nothing that came there since is deleted with it.
    return "\"" + interpreter + "\" /c del /f /q \"" + file + "\" & rd \"" + folder + "\"";
}

bool ScheduleRemoval(const std::string& file, const std::string& folder)
{
    // Only administrators may write the system's list of pending removals.
    if (MoveFileExA(file.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT) &&
        MoveFileExA(folder.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT))
        return true;
    const std::string interpreter = sysfolders::CommandInterpreter();
    if (interpreter.empty())
        return false;
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce", 0, nullptr, 0,
                        KEY_SET_VALUE, nullptr, &key, nullptr) != ERROR_SUCCESS)
        return false;
    // One entry per run folder, named after it.
    const std::string name = "Kelvo " + pathsplit::FileName(folder, &platform::IsLeadByte);
    const std::string command = LogonCommand(interpreter, file, folder);
    const LONG set = RegSetValueExA(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(command.c_str()),
                                    static_cast<DWORD>(command.size() + 1));
    RegCloseKey(key);
    return set == ERROR_SUCCESS;
}

}  // namespace delayed
