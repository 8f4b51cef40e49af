// kelvopack build PROJECT.toml -o SETUP.exe [--stub STUB.exe] [-q] [-j N] [--best] [--no-cache]
#pragma once

#include <string>

namespace CLI {
class App;
}

namespace build_command {

struct Options {
    std::string project;
    std::string output;
    std::string stub;  // empty: the one for the project's level (StubLocator)
    bool quiet = false;
    unsigned jobs = 0;     // 0: one per core
    bool best = false;     // optimal parsing: smaller, slower to build
    bool noCache = false;  // compress every member anew, keep none
};

CLI::App* setup(CLI::App& app, Options& options);
int run(const Options& options);

}  // namespace build_command
