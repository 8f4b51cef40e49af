// Where kelvopack build finds the setup program (the stub) that it puts in
// front of the package when no --stub names one: kelvo.exe for the level
// "user", kelvo-admin.exe for "admin" (the same program with another
// manifest), looked for in this order:
//
//   1. beside kelvopack itself             the Windows zip
//   2. ../share/kelvo/ from kelvopack's    an installed package (bin/kelvopack,
//      folder                              share/kelvo/kelvo.exe)
//   3. the 32-bit Windows build tree       a kelvopack that runs from its own
//      it was built with                   build folder, and only then
#pragma once

#include "Project.h"

#include <string>
#include <vector>

class StubLocator {
public:
    // `programFolder`: the folder kelvopack runs from. `buildFolder`: the
    // folder it was built in, and `buildStubs` the folder of the setup
    // program's build beside it; either empty for none.
    StubLocator(std::string programFolder, std::string buildFolder, std::string buildStubs);

    // The locator of the running program, with the folders of its build.
    static StubLocator ForThisProgram();

    // "kelvo.exe" or "kelvo-admin.exe".
    static const char* StubName(ExecutionLevel level);

    // The paths looked at, in order.
    std::vector<std::string> Places(ExecutionLevel level) const;

    // The first place that holds the stub. False when none does, with a
    // message in *error that lists every place looked at.
    bool Find(ExecutionLevel level, std::string* stub, std::string* error) const;

private:
    std::string programFolder_;
    std::string buildFolder_;
    std::string buildStubs_;
};
