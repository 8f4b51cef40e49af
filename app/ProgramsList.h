// The system's list of installed programs (the "Uninstall" key of the
// registry): one entry per installation, for the user unless the setup runs
// elevated, then for the machine. Windows only.
#pragma once

#include "InstallRules.h"

#include "Status.h"

#include <string>

namespace programs {

// Writes the entry, replacing one of the same key.
Status Register(const install::ProgramEntry& entry);
// Removes the entry of `key`, the user's and the machine's; whether there
// was one.
bool Unregister(const std::string& key);

}  // namespace programs
