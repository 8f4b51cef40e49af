// kelvopack compress IN OUT
#pragma once

#include <string>

namespace CLI {
class App;
}

namespace compress_command {

struct Options {
    std::string input;
    std::string output;
};

CLI::App* setup(CLI::App& app, Options& options);
int run(const Options& options);

}  // namespace compress_command
