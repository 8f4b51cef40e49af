// The stand-ins kelvopack init writes for what the wizard shows (the bitmap,
// the presentation and the agreement), made for the application's name. A
// build knows an untouched stand-in again, byte for byte, and makes it anew
// when the project's name has changed since, so that the setup never greets
// its users with the name of the folder it was first made from. Anything
// else, the author's own files and stand-ins the author edited, is left as
// it is.
#pragma once

#include "Project.h"

#include <string>
#include <vector>

class StandIns {
public:
    // The stand-in for role `role` (as layout::kDisplayRoles orders them)
    // and the name `ansiName` (code page 1252).
    static std::string Make(int role, const std::string& ansiName);

    // The name the stand-in `bytes` of `role` was made for; empty when
    // `bytes` is no untouched stand-in.
    static std::string MadeFor(int role, const std::string& bytes);

    // The name a project's stand-ins show: its name in code page 1252, or
    // its program group's when nothing of the name is left.
    static std::string NameFor(const Project& project);

    // Makes each display file of the checked `project` anew that is a
    // stand-in made for another name, and measures it again. Returns the
    // files made anew. Throws ToolError when one cannot be written.
    static std::vector<std::string> Refresh(Project* project);
};
