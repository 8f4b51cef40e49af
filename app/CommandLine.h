// The setup program's command-line options, for unattended installs. None
// given: the wizard, as always.
//
//   /S              silent: no window; install with the script's settings
//                   (or those below), or uninstall when started as the
//                   installed copy
//   /MODE=full|typical|minimal
//   /GROUP=name     the program group; a name the setup cannot use
//                   (NameRules.h) is a wrong argument
//   /D=folder       the destination folder; last on the line, the rest of
//                   the line (blanks included) is the folder
//
// Between the installed copy and the copy of itself that it starts from
// the temporary folder to uninstall, and not for people:
//   /RELAUNCH=p,r   p: the starting copy's process handle (inherited,
//                   SYNCHRONIZE), to wait for its end before anything of it
//                   is deleted; r: the write end of the pipe on which it
//                   waits for the exit code (inherited), 0 when it does not
//                   wait. Both decimal.
//
// Letter case of the switches does not count. Portable, tested natively.
#pragma once

#include "Status.h"

#include <cstdint>
#include <string>

namespace cmdline {

// Exit codes of unattended runs.
constexpr int kDone = 0;
constexpr int kFailed = 1;
constexpr int kBadArguments = 2;

struct Options {
    bool silent = false;
    char mode = 0;  // 'F', 'T', 'M', or 0 for the script's default
    bool hasGroup = false;
    std::string group;
    bool hasDestination = false;
    std::string destination;
    // Started by the installed copy (/RELAUNCH=): the handles it passed on.
    bool relaunched = false;
    uint64_t parentProcess = 0;
    uint64_t resultPipe = 0;
};

// The /RELAUNCH= argument for the two handles' values.
std::string RelaunchArgument(uint64_t parentProcess, uint64_t resultPipe);

// The usage text shown for bad arguments.
extern const char* const kUsage;

// Parses the arguments after the program's name: the raw command line
// without it. A failure (kRefused), its text the reason, for anything it
// does not know and for a group name the setup cannot use.
Status Parse(const std::string& arguments, Options* options);

// The arguments of a raw command line (as the system hands it over): what
// follows the program's name, quoted or not.
std::string ArgumentsOf(const std::string& commandLine);

// The mode letters ("FXX", "XTX", "XXM") an unattended install uses: the
// one asked for, which the script must offer, or else the smallest offered
// mode, as the options page checks it. A failure (kRefused), its text the
// reason, when the asked mode is not offered.
Status ModeLetters(char asked, const std::string& offered, std::string* letters);

}  // namespace cmdline
