// Writes the members of an opened setup into a folder, under the names the
// setup gives them, refusing any name that would leave the folder. Each
// extractor reads the package through a reader of its own, so several may
// work on one archive side by side.
#pragma once

#include "SetupArchive.h"

#include <set>
#include <string>
#include <vector>

class SetupExtractor {
public:
    // `folder` must exist; the archive must stay open while extracting.
    SetupExtractor(const SetupArchive& archive, const std::string& folder);

    // Writes one member; *shown receives the name written, relative to the
    // folder. False, with the reason, when the member is refused, cannot be
    // decoded to the size its record states, or cannot be written; nothing
    // is left behind then.
    bool Extract(const SetupArchive::Member& member, std::string* shown, std::string* error);
    // Writes the decoded script as "kelvo.se".
    bool ExtractScript(std::string* shown, std::string* error);

private:
    std::string Target(const std::string& ansiName, std::string* shown);
    // Creates the folders on the way to `relative` below the folder.
    bool MakeFolders(const std::string& relative);

    bool OpenReader(std::string* error);

    const SetupArchive& archive_;
    std::string folder_;
    PackageReader reader_;
    bool readerOpen_ = false;
    std::set<std::string> made_;  // folders known to exist
};

struct ExtractOutcome {
    std::string shown;  // the name written, relative to the folder
    std::string error;  // empty on success
};

// Extracts the members numbered in `chosen` on `jobs` threads, each taking a
// run of consecutive members (so that each reads its part of the package
// front to back); the outcomes come in the order of `chosen`.
std::vector<ExtractOutcome> ExtractMembers(const SetupArchive& archive, const std::string& folder,
                                           const std::vector<size_t>& chosen, unsigned jobs);

// The script's own name, which extract also accepts.
constexpr char kScriptName[] = "kelvo.se";
