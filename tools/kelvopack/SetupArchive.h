// A finished setup opened for reading: its package, its script, and its
// file records with the place of each member, found as the setup program
// finds them (SetupLayout.h: backwards from the end, by the sizes the
// records state, every record registered once). Never ends the program,
// whatever the file holds.
#pragma once

#include "PackageReader.h"
#include "ScriptText.h"
#include "SetupLayout.h"

#include <cstdint>
#include <string>
#include <vector>

// A member name with slashes for its backslashes, as it is shown, asked for
// and extracted.
std::string Slashed(std::string name);

class SetupArchive {
public:
    struct Member {
        std::string value;    // the record as the script holds it
        ScriptRecord record;  // its fields, when `parsed`
        bool parsed = false;
        // Where the setup program finds it, when `located`: its distance
        // from the package's end, its first byte, and whether a member may
        // lie there (layout::PlaceMember).
        bool located = false;
        uint64_t indice = 0;
        uint64_t start = 0;
        layout::Placement placement = layout::Placement::kBeforeFile;
        // The display roles it serves (indexes into layout::kDisplayRoles),
        // the first one naming the file.
        std::vector<int> roles;
        std::string name;                 // where extract puts it (code page 1252), or empty
        std::vector<std::string> copies;  // further names the setup copies it to

        // Every name it is written under: its own, then the copies.
        std::vector<std::string> Names() const;
        bool Flagged() const { return record.Grupo || record.Ful || record.Typ || record.Min; }
        bool Inside() const { return located && placement == layout::Placement::kInside; }
    };

    // Opens the setup and reads its script. False, with the reason, when no
    // package or no script can be read at all.
    bool Open(const std::string& path, std::string* error);

    const std::string& Path() const { return path_; }
    PackageReader& Reader() { return reader_; }
    const ScriptText& Script() const { return script_; }
    uint64_t ScriptBytes() const { return scriptBytes_; }
    // A setting's value, empty when the script has no such key.
    std::string Setting(const char* key) const;
    bool HasSetting(const char* key) const;

    std::vector<Member>& Members() { return members_; }
    const std::vector<Member>& Members() const { return members_; }
    // "#ARQ<k>" and the record's path, for messages.
    std::string Label(size_t k) const;
    // What opening found wrong with the records, one line each.
    const std::vector<std::string>& Problems() const { return problems_; }

private:
    void ReadRecords();
    void PlanMembers();

    std::string path_;
    PackageReader reader_;
    ScriptText script_;
    uint64_t scriptBytes_ = 0;
    std::vector<Member> members_;
    std::vector<std::string> problems_;
};
