// Program groups made without the shell's service, for a setup that runs
// where none answers (a deployment tool running it as the system, a
// replacement shell): a group is a folder of the Start Menu's programs and
// each item a shortcut in it, as the service makes them. The user's
// programs folder, or the common one when the setup runs elevated (the
// system's own profile has no user to see it). Removal takes only what an
// installation made: the shortcuts that lead into its destination, and the
// group's folder when that leaves it empty.
//
// Windows only.
#pragma once

#include "Status.h"

#include <string>

class TStartMenuGroup {
public:
    TStartMenuGroup() = default;

    // Makes the group's folder (an existing one is fine); later items go
    // into it.
    Status CreateGroup(const char* nome);
    // The shortcut of an item in the group made last, as the service's
    // AddItem(arq, nome) makes it: the name (also its description), then
    // an icon file and index when further arguments follow it. It starts
    // in the folder of its command, which the service leaves to the shell:
    // the uninstaller finds its files only in its own folder. One of the
    // same name is replaced.
    Status AddItem(const char* arq, const char* nome);
    // Removes the shortcuts of the group (in the user's and the common
    // programs folder alike) that lead into `destination` (full form), then
    // the folder if nothing else is left in it. No group: nothing to do.
    Status DeleteGroup(const char* nome, const std::string& destination);

private:
    std::string group_;  // the folder CreateGroup made, with a backslash
};
