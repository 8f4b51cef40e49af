// Removing what a record says an installation wrote (InstallRecord.h), and
// telling what else stays. Portable, so that it is tested natively.
#pragma once

#include "InstallRecord.h"

#include <cstddef>
#include <string>
#include <vector>

namespace install {

struct RemovalOutcome {
    std::vector<std::string> failed;  // names of the installation's that are still there
    bool destinationRemoved = false;
    // Folders above it that the installation made and that stay (not
    // empty), the innermost first.
    std::vector<std::string> parentsLeft;
};

// Removes the plan's files and folders under `folder` (full, ending with a
// backslash); the folder itself too when the plan says so and it is empty,
// and then the plan's folders above it (RemoveParents).
// A name reached through a link is left alone: what the link leads to
// belongs to another tree. Groups are not the business of this.
RemovalOutcome RemoveRecorded(const std::string& folder, const layout::RemovalPlan& plan);

// Removes each of `parents` (full folders, the innermost first) that is
// empty and no link; the ones that are still there, in that order.
std::vector<std::string> RemoveParents(const std::vector<std::string>& parents);

// What `folder` holds: relative names of its files, links and empty
// folders (these ending with a backslash), the first `max` of them in the
// order found; *more receives how many more there are.
std::vector<std::string> WhatIsLeft(const std::string& folder, size_t max, size_t* more);

// The names as one line for a message: "a", "b" and N more.
std::string ListForMessage(const std::vector<std::string>& names, size_t more);

}  // namespace install
