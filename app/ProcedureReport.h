// How the procedures tell the user about their failures: each message at
// once, and the exit code it leaves.
#pragma once

#include "Status.h"

#include <string>

namespace procedure {

// Shows the failure of a step the procedure goes on after; 1 if there was
// one, 0 for success.
int Report(const Status& status);
// Shows a failure that ends the procedure, with what it leaves behind (if
// anything is said about that); kFatalExitCode.
int Fail(const Status& status, const std::string& leftBehind);

}  // namespace procedure
