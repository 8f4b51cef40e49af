// kelvopack list SETUP.exe
#pragma once

#include <string>

namespace CLI {
class App;
}

namespace list_command {

struct Options {
    std::string setup;
};

CLI::App* setup(CLI::App& app, Options& options);
int run(const Options& options);

}  // namespace list_command
