// What Windows keeps while it runs: the uninstaller's copy of itself in its
// run folder. It goes when the system next starts (administrators), or at
// the user's next logon (a once-only entry of the user's own).
#pragma once

#include <string>

namespace delayed {

// Schedules `file`, then the folder `folder` (which must be empty by then),
// for removal. False when neither way could be set up.
bool ScheduleRemoval(const std::string& file, const std::string& folder);

// The command the logon entry runs: the command interpreter deletes the
// file, then removes the folder only if it is empty.
std::string LogonCommand(const std::string& interpreter, const std::string& file, const std::string& folder);

}  // namespace delayed
