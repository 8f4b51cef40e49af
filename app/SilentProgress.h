// The progress of an unattended installation: nothing to show, nobody to
// ask for a stop.
#pragma once

#include "InstallProgress.h"

class SilentProgress final : public InstallProgress {
public:
    void Texto1(const char* /*s*/) override {}
    void Texto2(const char* /*s*/) override {}
    void ValAtual(uint64_t /*VAtual*/) override {}
    bool StopAsked() override { return false; }
    void Finished() override {}
    bool Advance(uint64_t /*done*/) override { return true; }
};
