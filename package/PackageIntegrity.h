// The integrity check of a setup: the CRC-32 of every member and of the
// script with the trailer, compared with the integrity record that the
// builder leaves behind the program image (SetupLayout.h). One pass over
// the package, read in large blocks.
#pragma once

#include "PackageReader.h"

#include <string>
#include <vector>

struct IntegrityReport {
    enum class State {
        kAbsent,  // no record: a setup made without one reads as before
        kIntact,
        kDamaged,
    };
    State state = State::kAbsent;
    // What is damaged, one part a line ("member 3 (#ARQ3)", "the setup
    // script", ...), when kDamaged.
    std::vector<std::string> damaged;
};

// `reader` must have been opened (PackageReader::Open).
IntegrityReport CheckIntegrity(PackageReader& reader);
