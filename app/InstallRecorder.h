// Keeps the record of an installation (InstallRecord.h) in the destination
// folder as the installation goes: each entry reaches the system before
// the thing it names is made, and each is written once. Portable.
#pragma once

#include "InstallRecord.h"

#include "File.h"
#include "Status.h"

#include <set>
#include <string>
#include <vector>

class InstallRecorder {
public:
    // Starts the record `path` afresh, holding `carried` (an earlier
    // installation's entries) first. A failure (kCannotWrite) when it
    // cannot be written.
    Status Begin(const std::string& path, const std::vector<layout::WrittenEntry>& carried);
    // Adds the entry unless the record holds it already.
    Status Add(const layout::WrittenEntry& entry);
    // What this installation added (carried entries not included).
    const std::vector<layout::WrittenEntry>& Added() const { return added_; }

private:
    Status Put(const layout::WrittenEntry& entry);

    std::string path_;
    File file_;
    std::set<std::string> held_;
    std::vector<layout::WrittenEntry> added_;
};
