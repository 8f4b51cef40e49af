// kelvopack build PROJECT.toml -o SETUP.exe [--stub STUB.exe] [-q] [-j N]
#pragma once

#include <string>

namespace CLI {
class App;
}

namespace build_command {

struct Options {
    std::string project;
    std::string output;
    std::string stub;   // empty: the setup program of this build
    bool quiet = false;
    unsigned jobs = 0;  // 0: one per core
};

CLI::App* setup(CLI::App& app, Options& options);
int run(const Options& options);

// The stub used when none is given.
std::string DefaultStub();

}  // namespace build_command
