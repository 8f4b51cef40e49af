// kelvopack extract SETUP.exe [-C DIR] [NAME...]
#pragma once

#include <string>
#include <vector>

namespace CLI {
class App;
}

namespace extract_command {

struct Options {
    std::string setup;
    std::string folder = ".";
    std::vector<std::string> names;  // empty: every member
    bool quiet = false;
    unsigned jobs = 0;  // 0: one per core
};

CLI::App* setup(CLI::App& app, Options& options);
int run(const Options& options);

}  // namespace extract_command
