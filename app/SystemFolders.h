// The folders the setup program takes from the system: the Windows folder,
// its temporary folder (the Windows folder + "\TEMP"; the TEMP variable
// plays no part), and the folders an uninstaller must never delete.
#pragma once

#include "FolderGuard.h"

#include <string>

namespace sysfolders {

// Empty when the system's answer does not fit a path buffer.
std::string WindowsFolder();
std::string TemporaryFolder();
// The Windows folder as a protected tree; the user's profile, the program
// files folders and the shell's folders of the user's data as protected
// folders; each also under its real name when links lead there.
guard::ProtectedFolders ProtectedFolders();

}  // namespace sysfolders
