// What a setup will hold, record by record, before anything is compressed:
// the settings of its script in the order they are written, the records of
// the installed files in project order, then the three display files.
#pragma once

#include "Project.h"
#include "ScriptText.h"
#include "SetupLayout.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

class SetupPlan {
public:
    struct Record {
        ScriptRecord record;  // the compressed size is filled in by Script()
        std::string source;   // the file on this machine
        Origin origin;
        uint64_t size = 0;
        StatIndex::Stamp stamp;  // as measured, when stamped
        bool stamped = false;
        int role = -1;  // index into layout::kDisplayRoles; -1 for an installed file
    };

    // The project must have been checked: sizes measured, names valid.
    SetupPlan(const Project& project, const std::string& setupPath);

    const std::vector<Record>& Records() const { return records_; }
    // Key and value of every setting, in the order they are written.
    const std::vector<std::pair<std::string, std::string>>& Settings() const { return settings_; }

    // The script's bytes, with the compressed sizes of the records in order:
    // the settings, then record k's lines for each k in order. The pieces
    // serve a script compressed as its records' sizes become known.
    std::vector<uint8_t> Script(const std::vector<uint32_t>& packed) const;
    std::vector<uint8_t> ScriptHead() const;
    void AppendScriptRecord(size_t k, uint32_t packed, std::vector<uint8_t>* out) const;

    // The name record k is installed under (layout::InstalledName).
    std::string MemberName(size_t k) const;

private:
    std::string sourceFolder_;
    std::vector<std::pair<std::string, std::string>> settings_;
    std::vector<Record> records_;
};
