// Everything that would make a setup the installer cannot handle, found
// before anything is written. Names are checked in the form the script
// stores them (code page 1252, backslashes).
#pragma once

#include "Project.h"

#include <string>
#include <vector>

// A path inside the destination folder as the setup requires it
// (layout::IsContainedName), and beyond that: no character Windows refuses
// in a name, no "@" (it would come back as a blank), no device names, no
// name ending with a dot or a blank.
bool CheckRelativePath(const std::string& path, std::string* error);

// A program item title: 1 to 63 characters; nothing that the program-group
// command would take apart (layout::IsCommandSafe); no "@"; no blank in
// front.
bool CheckItemTitle(const std::string& title, std::string* error);

// A program group name, with the rules of an item title, the characters a
// group (a folder of the shell) cannot hold, and the command's length.
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
