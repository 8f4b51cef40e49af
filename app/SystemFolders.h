// The folders the setup program takes from the system: the Windows folder,
// its temporary folder (the Windows folder + "\TEMP"; the TEMP variable
// plays no part), and the folders an uninstaller must never delete.
#pragma once

#include "FolderGuard.h"
#include "Status.h"

#include <string>

namespace sysfolders {

// A fresh folder of this run inside the temporary folder, for its working
// files: made under a new name (a name that exists already is never taken,
// so nothing another user planted there is used) and open to the current
// user, the system and administrators only. *folder receives its full name.
Status MakeRunFolder(std::string* folder);

// The system's Windows folder (not a private one of a remote-desktop
// user's); empty when the answer does not fit a path buffer.
std::string WindowsFolder();
// The system's command interpreter (cmd.exe in the system folder).
std::string CommandInterpreter();
std::string TemporaryFolder();
// The Windows folder (the system's, and the one this process is told) and
// the system folders of both widths as protected trees; every profile the
// system lists, the program files folders of every width and the shell's
// folders of the user's data as protected folders; each also under its
// real name when links lead there.
guard::ProtectedFolders ProtectedFolders();

// What the folders made for `destination` (full form) are made with
// (guard::DestinationAccess): the access of Program Files when the setup
// runs elevated and installs outside the program files folders.
const char* DestinationAccess(const std::string& destination);

}  // namespace sysfolders
