// Everything that would make a setup the installer cannot handle, found
// before anything is written. Names are checked in the form the script
// stores them (code page 1252, backslashes).
#pragma once

#include "Project.h"

#include <string>
#include <vector>

// The names a project gives, by the setup's own rules (NameRules.h): false
// with the reason, naming what it concerns, when the setup could not write
// the name and read it back unchanged, or Windows would take it for another.
// A record's path inside the destination folder.
bool CheckRelativePath(const std::string& path, std::string* error);
// A program item's title.
bool CheckItemTitle(const std::string& title, std::string* error);
// A program group's name.
bool CheckGroupName(const std::string& name, std::string* error);
// A Windows folder "X:\...\" ending with a backslash. `root` allows "X:\".
bool CheckWindowsFolder(const std::string& folder, bool root, std::string* error);

// The setup path that the script states when the project names none.
std::string DefaultSetupPath(const std::string& output);

struct CheckInputs {
    std::string output;  // the setup to write
    std::string stub;    // the setup program to copy in front of the package; empty: not chosen yet, unchecked
};

// Measures every file (filling the sizes in the project) and checks the
// whole project against the limits of the script, the package and the
// installer. Returns one line per problem, each naming where it is.
std::vector<std::string> CheckProject(Project* project, const CheckInputs& inputs);
