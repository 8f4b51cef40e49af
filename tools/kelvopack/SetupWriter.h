// Writes a setup: a copy of the stub, the integrity record, the members in
// record order, the compressed script and its 4-byte size, as the setup
// program reads them back from the end of its own file.
//
//   +------+-----------+-----+----------+-----+------------+--------+---------+
//   | stub | integrity | pad | member 0 | ... | member n-1 | script | trailer |
//   +------+-----------+-----+----------+-----+------------+--------+---------+
//
// The integrity record (SetupLayout.h) and the pad lie where the reading
// protocol never looks. The pad, 0 to 7 zero bytes, makes the file's length
// a multiple of 8: a signer then appends its certificate table directly,
// and the reader finds the package's end at the table's start.
// Everything goes to a temporary file beside the output, renamed at the end,
// so a failed build leaves no half-written setup behind.
#pragma once

#include "SetupPlan.h"

#include <cstddef>
#include <cstdint>
#include <string>

struct SetupSettings {
    std::string stub;
    std::string output;
    unsigned threads = 1;
    size_t memoryBudget = size_t(256) << 20;
    bool progress = false;
    bool best = false;        // members and script parsed optimally (build --best)
    std::string cacheFolder;  // compressed members kept between builds; empty: none
    uint64_t cacheLimit = 0;  // bytes the cache may hold
};

struct SetupSummary {
    uint64_t stubSize = 0;
    uint64_t integrityBytes = 0;
    uint64_t padding = 0;
    uint64_t originalBytes = 0;  // all members
    uint64_t packedBytes = 0;    // all members
    uint32_t scriptSize = 0;     // compressed
    uint64_t setupSize = 0;
};

// Throws ToolError naming the file when anything fails.
SetupSummary WriteSetup(const SetupPlan& plan, const SetupSettings& settings);

// The temporary name the setup is written under before it is renamed.
std::string PartialName(const std::string& output);
