// A finished setup opened for reading: its package, its script, and its
// file records with the place of each member, found as the setup program
// finds them (backwards from the end, by the sizes the records state).
// Never ends the program, whatever the file holds.
#pragma once

#include "PackageReader.h"
#include "ScriptText.h"

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
        bool located = false; // `start` is known
        uint64_t start = 0;
        int role = -1;        // the display role whose key names it, or -1
        std::string name;     // where extract puts it (code page 1252), or empty

        bool Flagged() const { return record.Grupo || record.Ful || record.Typ || record.Min; }
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
    // What opening found wrong with the records, one line each.
    const std::vector<std::string>& Problems() const { return problems_; }

private:
    void ReadRecords();
    void MatchRoles();
    void LocateMembers();
    void NameMembers();

    std::string path_;
    PackageReader reader_;
    ScriptText script_;
    uint64_t scriptBytes_ = 0;
    std::vector<Member> members_;
    std::vector<std::string> problems_;
};
