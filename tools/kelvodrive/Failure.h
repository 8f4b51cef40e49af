// Failures of a command, carried to main() which prints them and maps them to
// the process exit code.
#pragma once

#include <stdexcept>
#include <string>

enum ExitCode : int {
    kExitOk = 0,
    kExitFailed = 1,   // the operation could not be done
    kExitUsage = 2,    // bad command line
    kExitTimeout = 3,  // what was waited for did not happen in time
};

class Failure : public std::runtime_error {
public:
    Failure(ExitCode code, const std::string& message) : std::runtime_error(message), code_(code) {}
    ExitCode Code() const { return code_; }

private:
    ExitCode code_;
};

[[noreturn]] inline void Fail(const std::string& message)
{
    throw Failure(kExitFailed, message);
}
[[noreturn]] inline void FailUsage(const std::string& message)
{
    throw Failure(kExitUsage, message);
}
[[noreturn]] inline void FailTimeout(const std::string& message)
{
    throw Failure(kExitTimeout, message);
}
