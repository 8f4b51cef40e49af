// The end of a run that leaves nothing behind in the temporary folder: the
// working files and the run's folder; for the uninstaller's copy also what
// it was given beside it and, as far as the system lets a running program
// go, its own image (else scheduled for removal).
#pragma once

#include "WorkFolder.h"

namespace cleanup {

// Removes the working files of `workFolder` and the folder. When
// `uninstalling`, also the files the relaunch put into the start folder
// (as cur.se names it), when that is a run folder, and that folder.
void EndRun(const WorkFolder& workFolder, bool uninstalling);

}  // namespace cleanup
