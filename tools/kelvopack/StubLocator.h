// Where kelvopack build finds the setup program (the stub) that it puts in
// front of the package when no --stub names one: kelvo.exe for the level
// "user", kelvo-admin.exe for "admin" (the same program with another
// manifest), looked for in this order:
//
//   1. beside kelvopack itself             the Windows zip
//   2. ../share/kelvo/ from kelvopack's    an installed package (bin/kelvopack,
//      folder                              share/kelvo/kelvo.exe)
//   3. the Windows build tree it was       a kelvopack that runs from its own
//      built with                          build folder, and only then
//
// The 64-bit builds of the setup program, for Windows without 32-bit
// support, go by kelvo64.exe and kelvo64-admin.exe in the first two places
// (the Debian package ships them), and by their own names in the 64-bit
// build tree; --stub takes any of the four names.
#pragma once

#include "Project.h"

#include <string>
#include <vector>

class StubLocator {
public:
    // `programFolder`: the folder kelvopack runs from. `buildFolder`: the
    // folder it was built in, and `buildStubs` and `buildStubs64` the folders
    // of the setup program's 32-bit and 64-bit builds beside it; any empty
    // for none.
    StubLocator(std::string programFolder, std::string buildFolder, std::string buildStubs,
                std::string buildStubs64 = std::string());

    // The locator of the running program, with the folders of its build.
    static StubLocator ForThisProgram();

    // "kelvo.exe" or "kelvo-admin.exe"; for the 64-bit builds "kelvo64.exe"
    // or "kelvo64-admin.exe".
    static const char* StubName(ExecutionLevel level, bool x64 = false);
    // Whether `name` is one of those four.
    static bool IsStubName(const std::string& name);

    // The paths looked at for the stub of a level, or of a name, in order.
    std::vector<std::string> Places(ExecutionLevel level) const;
    std::vector<std::string> Places(const std::string& name) const;

    // The first place that holds the stub. False when none does, with a
    // message in *error that lists every place looked at.
    bool Find(ExecutionLevel level, std::string* stub, std::string* error) const;
    bool Find(const std::string& name, std::string* stub, std::string* error) const;

private:
    bool FindIn(const std::vector<std::string>& places, std::string* stub) const;

    std::string programFolder_;
    std::string buildFolder_;
    std::string buildStubs_;
    std::string buildStubs64_;
};
