// Everything `verify` checks in a finished setup: that the script reads as
// the setup program reads it, that its records describe an installation the
// setup can carry out, and that every member lies where the records put it
// and decodes to the size they state.
#pragma once

#include "PackageIntegrity.h"

#include <cstdint>
#include <string>
#include <vector>

struct SetupCheckResult {
    std::vector<std::string> problems;  // one line each
    IntegrityReport::State integrity = IntegrityReport::State::kAbsent;
    size_t members = 0;
    uint64_t originalBytes = 0;  // decoded
    uint64_t packedBytes = 0;    // read
};

SetupCheckResult CheckSetup(const std::string& path);
