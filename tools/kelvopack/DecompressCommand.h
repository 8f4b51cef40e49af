// kelvopack decompress IN OUT
#pragma once

#include <string>

namespace CLI {
class App;
}

namespace decompress_command {

struct Options {
    std::string input;
    std::string output;
};

CLI::App* setup(CLI::App& app, Options& options);
int run(const Options& options);

}  // namespace decompress_command
