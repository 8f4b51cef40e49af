// kelvopack verify SETUP.exe
#pragma once

#include <string>

namespace CLI {
class App;
}

namespace verify_command {

struct Options {
    std::string setup;
    bool quiet = false;
};

CLI::App* setup(CLI::App& app, Options& options);
// 0 when the setup is sound, 1 with one line per problem otherwise.
int run(const Options& options);

}  // namespace verify_command
