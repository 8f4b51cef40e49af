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

// `folder` joined with `relative`, with "." and ".." worked out, in the
// system's own separators.
std::string Join(const std::string& folder, const std::string& relative)
{
    return (std::filesystem::path(folder) / std::filesystem::path(relative)).lexically_normal().make_preferred().string();
}

}  // namespace

StubLocator::StubLocator(std::string programFolder, std::string buildFolder, std::string buildStubs)
    : programFolder_(std::move(programFolder)), buildFolder_(std::move(buildFolder)), buildStubs_(std::move(buildStubs))
{
}

StubLocator StubLocator::ForThisProgram()
{
    return StubLocator(ProgramFolder(), KELVOPACK_BUILD_FOLDER, KELVOPACK_BUILD_STUBS);
}

const char* StubLocator::StubName(ExecutionLevel level)
{
    return level == ExecutionLevel::Admin ? "kelvo-admin.exe" : "kelvo.exe";
}

std::vector<std::string> StubLocator::Places(ExecutionLevel level) const
{
    const std::string name = StubName(level);
    std::vector<std::string> places = {Join(programFolder_, name), Join(programFolder_, "../share/kelvo/" + name)};
    // An installed copy must never pick up a stub from the tree it was built in.
    if (!buildFolder_.empty() && !buildStubs_.empty()) {
        const std::string running = platform::RealPath(programFolder_.c_str());
        if (!running.empty() && running == platform::RealPath(buildFolder_.c_str()))
            places.push_back(Join(buildStubs_, name));
    }
    return places;
}

bool StubLocator::Find(ExecutionLevel level, std::string* stub, std::string* error) const
{
    const std::vector<std::string> places = Places(level);
    for (const std::string& place : places) {
        if (platform::FileExists(place.c_str())) {
            *stub = place;
            return true;
        }
    }
    *error = std::string("no setup program for the level \"") + LevelName(level) +
             "\" (" + StubName(level) + "); looked for it at:";
    for (const std::string& place : places)
        *error += "\n  " + place;
    *error += "\ninstall kelvopack's package, build the setup program "
              "(cmake --preset mingw-i686 && cmake --build --preset mingw-i686), or give --stub";
    return false;
}
