// The unattended run's arguments over the script's settings: the program
// group, the destination folder and the mode that /GROUP=, /D= and /MODE=
// give, checked as the options page checks what the user types. Nothing is
// asked, and no failure waits for an answer (CommandLine.h).
#pragma once

#include "CommandLine.h"

class SilentRun {
public:
    explicit SilentRun(const cmdline::Options& options) : options(options) {}

    // Writes the arguments into the step logic's buffers (kPathSize, kPathSize
    // and kModesSize bytes), which hold the script's settings. cmdline::kDone when the
    // installation may go on; otherwise the failure has been shown and the
    // exit code is returned (kBadArguments for what the arguments gave,
    // kFailed for the script's own group name).
    int Apply(char* NomeGrupo, char* DirDest, char* ModosInst) const;

private:
    const cmdline::Options& options;
};
