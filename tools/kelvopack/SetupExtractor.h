// Writes the members of an opened setup into a folder, under the names the
// setup gives them, refusing any name that would leave the folder.
#pragma once

#include "MemberStream.h"
#include "SetupArchive.h"

#include <set>
#include <string>

class SetupExtractor {
public:
    // `folder` must exist; the archive must stay open while extracting.
    SetupExtractor(SetupArchive& archive, const std::string& folder);

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

    SetupArchive& archive_;
    std::string folder_;
    MemberStream stream_;
    bool streamOpen_ = false;
    std::set<std::string> made_;  // folders known to exist
};

// The script's own name, which extract also accepts.
constexpr char kScriptName[] = "kelvo.se";
