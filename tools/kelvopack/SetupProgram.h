// What kelvopack takes as a stub: Kelvo's setup program as built, and
// nothing else. This is the one rule of it; build applies it to every stub,
// whether found or given with --stub.
//
// A setup program is a Windows program with a window (PE image, i386 or
// x86-64, GUI subsystem) whose resources hold the three dialog templates
// the setup loads, which no other program has: "IDD_PROGRESS", 6 ("About
// ...") and 32253 ("Browse Folder"). Its manifest says which rights it asks
// for, and nothing lies behind its image: a signature or a package there
// means a signed program or a finished setup.
#pragma once

#include "Project.h"

#include <cstdint>
#include <optional>
#include <string>

class SetupProgram {
public:
    // Reads the file at `path`. False, with the reason in *why, when it
    // cannot be read or is no setup program; then only `readable` is set.
    bool Inspect(const std::string& path, std::string* why);

    bool readable = false;
    uint16_t machine = 0;                 // 0x14c i386, 0x8664 x86-64
    std::optional<ExecutionLevel> level;  // as its manifest asks; none when it says neither
    uint64_t certificateSize = 0;         // a signature's table; 0 when unsigned
    uint64_t behindImage = 0;             // bytes behind the image, a signature aside
};
