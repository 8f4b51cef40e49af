// The rules of the installation and uninstallation procedures that need no
// window: which records a mode installs, what the records and the
// destination must be before anything is written, and how the working
// files are read. Portable, so that they are tested natively.
#pragma once

#include "FolderGuard.h"
#include "Status.h"

#include <cstdint>
#include <string>

class TListaDado;

namespace install {

// Whether record i is installed when the mode letters (at least three
// characters: "F" or not, "T" or not, "M" or not) are `modos`.
bool Selected(const TListaDado& list, int i, const char* modos);
// The original bytes the mode installs.
uint64_t SelectedBytes(const TListaDado& list, const char* modos);

// The name record i is registered under in the package's table: its
// installed name when the mode extracts it, else one no file can have, so
// that records never extracted cannot collide.
std::string MemberName(const TListaDado& list, int i, const char* modos);

// Before anything is written: every record that is installed or gets a
// program item has a name that stays inside the destination folder and is
// not one of the setup's own files there, and no two installed records
// share a name (letter case aside); a program item's title and path can be
// sent to the program-group service without splitting its command. The
// failure names the record.
Status CheckRecords(const TListaDado& list, const char* modos);

// Before anything is written, with the destination folder (full form) that
// the installation uses: the command of every program item, the
// "Uninstall" item's included (its title `uninstallTitle` and the setup's
// file name `program`), fits the group command, so that no item is lost
// after the files are in place. The failure names the record.
Status CheckItemCommands(const TListaDado& list, const std::string& destination, const std::string& program,
                         const std::string& uninstallTitle);

// The program group's name as the program-group service can take it: not
// empty, no character that would split its command.
Status CheckGroupName(const std::string& group);

// The destination folder as it will be used: absolute, normalised, under
// the long names of the folders of it that exist, ending with a backslash. A failure when it is relative, names nothing, or is a
// folder the uninstaller would refuse to delete (a drive root, the system's
// folders); the message says why and what to do.
Status CheckDestination(const std::string& typed, const std::string& current,
                        const guard::ProtectedFolders& protectedFolders, std::string* full);

// Whether the folder holds anything already, other than an earlier
// installation (which the next one takes over): the user's files, which an
// installation into it leaves alone, and which the user is told about.
// False for a folder that does not exist or is empty.
bool HoldsOtherFiles(const std::string& folder);
// What the user is told about such a folder: asked whether to go on
// (`question`), or told that the installation goes on.
std::string OtherFilesWarning(const std::string& folder, bool question);

// The entry of an installation in the system's list of installed programs.
struct ProgramEntry {
    std::string key;  // the name of its registry key
    std::string displayName;
    std::string publisher;
    std::string version;
    std::string location;        // the destination folder
    std::string icon;            // the installed copy of the setup, icon 0
    std::string uninstall;       // the command that uninstalls
    std::string quietUninstall;  // the same, unattended (/S)
    uint32_t sizeKb = 0;
};

// The key an installation into `destination` (full form) is listed under:
// one per destination, letter case aside.
std::string ProgramEntryKey(const std::string& destination);

// The entry of an installation into `destination` by the setup file
// `program` (its name only) of `bytes` in all. The installed copy must run
// from its own folder, so the commands first make it current (`shell` is
// the system's command interpreter). An empty name shows the group's.
ProgramEntry MakeProgramEntry(const std::string& destination, const std::string& program, const std::string& name,
                              const std::string& group, const std::string& publisher, const std::string& version,
                              uint64_t bytes, const std::string& shell);

}  // namespace install
