// Whether the program runs with an administrator's elevated rights: then
// what it makes is the machine's (the list of installed programs, the
// common Start Menu) and what it installs is protected as Program Files is.
// Windows only.
#pragma once

// False where the system cannot tell (before Vista there is no elevation).
bool RunsElevated();
