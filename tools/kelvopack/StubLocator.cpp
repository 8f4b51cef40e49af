#include "StubLocator.h"

#include "Platform.h"

#include <filesystem>
#include <utility>

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <unistd.h>
#endif

// The build's own folders, set for the native build (tools/kelvopack/CMakeLists.txt).
#ifndef KELVOPACK_BUILD_FOLDER
#define KELVOPACK_BUILD_FOLDER ""
#endif
#ifndef KELVOPACK_BUILD_STUBS
#define KELVOPACK_BUILD_STUBS ""
#endif
#ifndef KELVOPACK_BUILD_STUBS64
#define KELVOPACK_BUILD_STUBS64 ""
#endif

namespace {

// The folder of this program, as the system names its file.
std::string ProgramFolder()
{
#ifdef _WIN32
    char buffer[MAX_PATH];
    const DWORD n = GetModuleFileNameA(nullptr, buffer, MAX_PATH);
    const std::string self = n > 0 && n < MAX_PATH ? std::string(buffer, n) : std::string();
#else
    char buffer[4096];
    const ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    const std::string self = n > 0 ? std::string(buffer, static_cast<size_t>(n)) : std::string();
#endif
    const size_t cut = self.find_last_of("/\\");
    return cut == std::string::npos ? std::string(".") : self.substr(0, cut);
}

// The four names, and the file each has in its build tree.
const struct {
    const char* name;
    const char* built;
    ExecutionLevel level;
    bool x64;
} kStubs[] = {{"kelvo.exe", "kelvo.exe", ExecutionLevel::User, false},
              {"kelvo-admin.exe", "kelvo-admin.exe", ExecutionLevel::Admin, false},
              {"kelvo64.exe", "kelvo.exe", ExecutionLevel::User, true},
              {"kelvo64-admin.exe", "kelvo-admin.exe", ExecutionLevel::Admin, true}};

// `folder` joined with `relative`, with "." and ".." worked out, in the
// system's own separators.
std::string Join(const std::string& folder, const std::string& relative)
{
    return (std::filesystem::path(folder) / std::filesystem::path(relative))
        .lexically_normal()
        .make_preferred()
        .string();
}

}  // namespace

StubLocator::StubLocator(std::string programFolder, std::string buildFolder, std::string buildStubs,
                         std::string buildStubs64)
    : programFolder_(std::move(programFolder)), buildFolder_(std::move(buildFolder)),
      buildStubs_(std::move(buildStubs)), buildStubs64_(std::move(buildStubs64))
{
}

StubLocator StubLocator::ForThisProgram()
{
    return StubLocator(ProgramFolder(), KELVOPACK_BUILD_FOLDER, KELVOPACK_BUILD_STUBS, KELVOPACK_BUILD_STUBS64);
}

const char* StubLocator::StubName(ExecutionLevel level, bool x64)
{
    for (const auto& stub : kStubs) {
        if (stub.level == level && stub.x64 == x64)
            return stub.name;
    }
    return kStubs[0].name;
}

bool StubLocator::IsStubName(const std::string& name)
{
    for (const auto& stub : kStubs) {
        if (name == stub.name)
            return true;
    }
    return false;
}

std::vector<std::string> StubLocator::Places(ExecutionLevel level) const
{
    return Places(StubName(level));
}

std::vector<std::string> StubLocator::Places(const std::string& name) const
{
    std::vector<std::string> places = {Join(programFolder_, name), Join(programFolder_, "../share/kelvo/" + name)};
    // An installed copy must never pick up a stub from the tree it was built in.
    for (const auto& stub : kStubs) {
        const std::string& tree = stub.x64 ? buildStubs64_ : buildStubs_;
        if (name != stub.name || buildFolder_.empty() || tree.empty())
            continue;
        const std::string running = platform::RealPath(programFolder_.c_str());
        if (!running.empty() && running == platform::RealPath(buildFolder_.c_str()))
            places.push_back(Join(tree, stub.built));
    }
    return places;
}

bool StubLocator::FindIn(const std::vector<std::string>& places, std::string* stub) const
{
    for (const std::string& place : places) {
        if (platform::FileExists(place.c_str())) {
            *stub = place;
            return true;
        }
    }
    return false;
}

bool StubLocator::Find(ExecutionLevel level, std::string* stub, std::string* error) const
{
    const std::vector<std::string> places = Places(level);
    if (FindIn(places, stub))
        return true;
    *error = std::string("no setup program for the level \"") + LevelName(level) + "\" (" + StubName(level) +
             "); looked for it at:";
    for (const std::string& place : places)
        *error += "\n  " + place;
    *error +=
        "\ninstall kelvopack's package, build the setup program "
        "(cmake --preset mingw-i686 && cmake --build --preset mingw-i686), or give --stub";
    return false;
}

bool StubLocator::Find(const std::string& name, std::string* stub, std::string* error) const
{
    const std::vector<std::string> places = Places(name);
    if (FindIn(places, stub))
        return true;
    *error = "no setup program " + name + "; looked for it at:";
    for (const std::string& place : places)
        *error += "\n  " + place;
    return false;
}
