#include "CommandLine.h"

#include "NameRules.h"

#include <cctype>

namespace cmdline {

const char* const kUsage =
    "Usage: SETUP [/S] [/MODE=full|typical|minimal] [/GROUP=name] [/D=folder]\n"
    "\n"
    "/S  installs without a window (an installed copy uninstalls)\n"
    "/MODE  the installation mode (default: as the wizard offers it)\n"
    "/GROUP  the program group's name\n"
    "/D  the destination folder; last on the line, it may hold blanks\n"
    "\n"
    "Exit codes: 0 done, 1 failed, 2 wrong arguments.";

namespace {

std::string Upper(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

// The next argument from `at`: up to a blank outside quotes, quotes removed.
std::string NextWord(const std::string& text, size_t* at)
{
    std::string word;
    bool quoted = false;
    size_t i = *at;
    for (; i < text.size() && (quoted || !IsBlank(text[i])); ++i) {
        if (text[i] == '"')
            quoted = !quoted;
        else
            word += text[i];
    }
    *at = i;
    return word;
}

std::string Unquoted(std::string text)
{
    while (!text.empty() && IsBlank(text.back()))
        text.pop_back();
    if (text.size() >= 2 && text.front() == '"' && text.back() == '"')
        text = text.substr(1, text.size() - 2);
    return text;
}

// A decimal number of at most 20 digits that fits 64 bits.
bool ParseNumber(const std::string& text, uint64_t* value)
{
    if (text.empty() || text.size() > 20)
        return false;
    uint64_t n = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        const uint64_t digit = static_cast<uint64_t>(c - '0');
        if (n > (UINT64_MAX - digit) / 10)
            return false;
        n = n * 10 + digit;
    }
    *value = n;
    return true;
}

// A reason the arguments cannot be used.
Status Refused(const std::string& why)
{
    return Status::Failure(Fault::kRefused, why, "Error!");
}

}  // namespace

Status Parse(const std::string& arguments, Options* options)
{
    *options = Options();
    size_t at = 0;
    for (;;) {
        while (at < arguments.size() && IsBlank(arguments[at]))
            ++at;
        if (at >= arguments.size())
            return Status();
        // The destination takes the rest of the line as it stands (the
        // whole switch may be quoted, as programs that start others quote
        // an argument with blanks).
        const bool quoted = arguments[at] == '"';
        if (Upper(arguments.substr(at + (quoted ? 1 : 0), 3)) == "/D=") {
            std::string rest = arguments.substr(at + (quoted ? 4 : 3));
            if (quoted)
                rest = "\"" + rest;
            options->destination = Unquoted(rest);
            options->hasDestination = true;
            if (options->destination.empty()) {
                return Refused("/D= names no folder");
            }
            return Status();
        }
        const std::string word = NextWord(arguments, &at);
        const std::string upper = Upper(word);
        if (upper == "/S") {
            options->silent = true;
        } else if (upper.compare(0, 6, "/MODE=") == 0) {
            const std::string mode = upper.substr(6);
            if (mode == "FULL")
                options->mode = 'F';
            else if (mode == "TYPICAL")
                options->mode = 'T';
            else if (mode == "MINIMAL")
                options->mode = 'M';
            else {
                return Refused("unknown mode \"" + word.substr(6) + "\" (full, typical or minimal)");
            }
        } else if (upper.compare(0, 10, "/RELAUNCH=") == 0) {
            const std::string value = word.substr(10);
            const size_t comma = value.find(',');
            if (comma == std::string::npos || !ParseNumber(value.substr(0, comma), &options->parentProcess) ||
                !ParseNumber(value.substr(comma + 1), &options->resultPipe) || options->parentProcess == 0)
                return Refused("bad argument \"" + word + "\"");
            options->relaunched = true;
        } else if (upper.compare(0, 7, "/GROUP=") == 0) {
            options->group = word.substr(7);
            options->hasGroup = true;
            // Refused before anything is extracted or written.
            const std::string why = names::WhyNotGroupName(options->group);
            if (!why.empty())
                return Refused("the program group's name \"" + options->group + "\" " + why);
        } else {
            return Refused("unknown argument \"" + word + "\"");
        }
    }
}

std::string RelaunchArgument(uint64_t parentProcess, uint64_t resultPipe)
{
    return "/RELAUNCH=" + std::to_string(parentProcess) + "," + std::to_string(resultPipe);
}

std::string ArgumentsOf(const std::string& commandLine)
{
    size_t at = 0;
    while (at < commandLine.size() && IsBlank(commandLine[at]))
        ++at;
    NextWord(commandLine, &at);
    return commandLine.substr(at);
}

Status ModeLetters(char asked, const std::string& offered, std::string* letters)
{
    const char modes[3] = {'F', 'T', 'M'};
    const char* names[3] = {"full", "typical", "minimal"};
    int chosen = -1;
    if (asked != 0) {
        for (int k = 0; k < 3; ++k) {
            if (modes[k] == asked)
                chosen = k;
        }
        if (chosen < 0 || offered.size() <= static_cast<size_t>(chosen) || offered[chosen] != asked) {
            return Refused(std::string("this setup does not offer the ") + (chosen < 0 ? "asked" : names[chosen]) +
                           " mode");
        }
    } else {
        // The smallest offered mode, as the options page checks it.
        for (int k = 2; k >= 0 && chosen < 0; --k) {
            if (offered.size() > static_cast<size_t>(k) && offered[k] == modes[k])
                chosen = k;
        }
    }
    *letters = "XXX";
    if (chosen >= 0)
        (*letters)[chosen] = modes[chosen];
    return Status();
}

}  // namespace cmdline
