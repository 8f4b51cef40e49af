// The one kind of failure the commands throw: a message for the user, which
// names the file concerned and what is wrong with it. main prints it.
#pragma once

#include <stdexcept>
#include <string>

class ToolError : public std::runtime_error {
public:
    explicit ToolError(const std::string& message) : std::runtime_error(message) {}
};
