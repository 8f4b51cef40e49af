// A setup project as read from its project file: the settings of the setup
// script and the files to pack, in the order in which they become records.
#pragma once

#include "StatIndex.h"

#include <cstdint>
#include <string>
#include <vector>

// Where a setting was written, for messages: "file:line:column".
struct Origin {
    std::string file;
    int line = 0;
    int column = 0;

    std::string Where() const;
};

struct Modes {
    bool full = false;
    bool typical = false;
    bool minimal = false;

    bool Any() const { return full || typical || minimal; }
    bool Shares(const Modes& other) const
    {
        return (full && other.full) || (typical && other.typical) || (minimal && other.minimal);
    }
    // "F" or "X", "T" or "X", "M" or "X".
    std::string Letters() const;
};

// The rights the setup asks for when it starts: those of whoever starts it,
// or an administrator's. Each has its own build of the setup program.
enum class ExecutionLevel { User, Admin };
// "user" or "admin", as the project file spells it.
const char* LevelName(ExecutionLevel level);

// A file that the setup installs.
struct InstallFile {
    std::string source;  // on this machine
    std::string path;    // in the destination folder: backslashes, code page 1252
    std::string title;   // program item title in code page 1252; empty for none
    Modes modes;
    Origin origin;
    uint64_t size = 0;  // measured when the project is checked
    // Its stamp, taken by the same look-up, so that the build need not ask
    // again; unset when the file was rewritten after it.
    StatIndex::Stamp stamp;
    bool stamped = false;
};

// A file that the wizard shows: the bitmap and the two texts.
struct DisplayFile {
    std::string source;
    Origin origin;
    uint64_t size = 0;
};

struct Project {
    std::string file;          // the project file itself
    std::string name;          // the application's display name (UTF-8)
    std::string nameAnsi;      // the same in code page 1252, for the list of installed programs and the
                               // setup's windows: the characters 1252 lacks left out
    std::string publisher;     // for that list, code page 1252; may be empty
    std::string version;       // likewise
    std::string group;         // program group, code page 1252
    std::string destination;   // default destination folder, ends with a backslash
    std::string sourceFolder;  // the folder the records name, ends with a backslash
    std::string setupPath;     // the executable the package is built into; empty: the output's name
    Modes modes;               // the modes offered
    ExecutionLevel level = ExecutionLevel::User;
    DisplayFile bitmap;
    DisplayFile presentation;
    DisplayFile agreement;
    std::vector<InstallFile> files;

    Origin nameOrigin;
    Origin groupOrigin;
    Origin destinationOrigin;
    Origin sourceFolderOrigin;
    Origin setupPathOrigin;
    Origin modesOrigin;
    Origin levelOrigin;
};

// The source folder a project uses unless it names one.
constexpr char kDefaultSourceFolder[] = "C:\\KELVO\\";
