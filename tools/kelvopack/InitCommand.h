// kelvopack init FOLDER [-o PROJECT] [--name NAME]
// Writes a commented project file that installs FOLDER, and stand-ins for
// the wizard's bitmap and texts beside it, so that a first setup is one
// build away. An existing project file is never overwritten.
#pragma once

#include <string>

namespace CLI {
class App;
}

namespace init_command {

struct Options {
    std::string folder;
    std::string output = "setup.toml";
    std::string name;  // empty: the folder's name
};

CLI::App* setup(CLI::App& app, Options& options);
int run(const Options& options);

}  // namespace init_command
