// The command line of one kelvodrive invocation, parsed with CLI11:
//   kelvodrive COMMAND [--name=value | --flag]... [-- PROGRAM [ARGUMENT]...]
// Portable (UTF-8 text, no window code), so that it is tested natively.
// Options carry their value after '=', so a value may start with "--"; only
// a bare "--" ends the options.
#pragma once

#include <map>
#include <stdexcept>
#include <string>
#include <vector>

// What one command accepts.
struct DriveCommandSpec {
    std::string name;
    std::string summary;
    std::vector<std::string> values;  // --name=VALUE
    std::vector<std::string> flags;   // --name
    bool program = false;             // -- PROGRAM [ARGUMENT]...
};

// Every command kelvodrive knows, with its options.
const std::vector<DriveCommandSpec>& DriveCommandSpecs();

// A command line that kelvodrive cannot take; its text says why.
class DriveUsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class DriveCommandLine {
public:
    // `arguments` without the program's own name. Throws DriveUsageError.
    static DriveCommandLine Parse(const std::vector<std::string>& arguments,
                                  const std::vector<DriveCommandSpec>& specs = DriveCommandSpecs());

    const std::string& Command() const { return command_; }
    bool Has(const std::string& name) const { return options_.count(name) != 0; }
    // The option's value; "" for a flag or an option not given.
    std::string Value(const std::string& name) const;
    // Everything after a bare "--".
    const std::vector<std::string>& Rest() const { return rest_; }

private:
    std::string command_;
    std::map<std::string, std::string> options_;
    std::vector<std::string> rest_;
};
