// What the installation procedure shows of its progress, and asks about
// cancellation: the progress dialog in the wizard, nothing in an
// unattended run (SilentProgress). Also the hook of each extraction.
#pragma once

#include "ProgressHook.h"

#include <cstdint>

class InstallProgress : public ProgressHook {
public:
    // The first and second lines of text.
    virtual void Texto1(const char* s) = 0;
    virtual void Texto2(const char* s) = 0;
    // The running total, in bytes.
    virtual void ValAtual(uint64_t VAtual) = 0;
    // Between two files: lets pending messages through and tells whether
    // the user asked to stop.
    virtual bool StopAsked() = 0;
    // The extraction is over: what is shown goes.
    virtual void Finished() = 0;

protected:
    ~InstallProgress() = default;
};
