#include "DriveCommandLine.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <memory>

namespace {

std::vector<std::string> Join(std::vector<std::string> a, const std::vector<std::string>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// Top-level windows and controls are chosen the same way by every command
// that acts on one (WindowQuery.h); a message box by its window only.
const std::vector<std::string> kWindow = {"hwnd", "title", "title-part", "class",
                                          "exe",  "pid",   "timeout",    "min-children"};
const std::vector<std::string> kControl = {"ctl-hwnd", "id", "text", "text-part", "ctl-class", "nth"};
const std::vector<std::string> kMessageBox = {"hwnd", "title", "title-part", "exe", "pid", "timeout"};
const std::vector<std::string> kWindowAndControl = Join(kWindow, kControl);

}  // namespace

const std::vector<DriveCommandSpec>& DriveCommandSpecs()
{
    static const std::vector<DriveCommandSpec> specs = {
        {"windows", "top-level windows (all with --hidden)", kWindow, {"hidden"}},
        {"wait", "wait for a window (and a control in it)", kWindowAndControl, {"hidden", "enabled"}},
        {"wait-gone", "wait until the window (or control) is gone", kWindowAndControl, {"hidden"}},
        {"children", "the window, then every control below it", kWindow, {"hidden"}},
        {"close", "post WM_CLOSE", kWindow, {"hidden", "all"}},
        {"click", "post BM_CLICK (refused if disabled)", kWindowAndControl, {"hidden", "force"}},
        {"set-text", "WM_SETTEXT", Join(kWindowAndControl, {"value"}), {"hidden"}},
        {"type", "post WM_CHAR per character", Join(kWindowAndControl, {"value"}), {"hidden", "append"}},
        {"select", "list box choice", Join(kWindowAndControl, {"item", "string"}), {"hidden", "double"}},
        {"items", "list box entries", kWindowAndControl, {"hidden"}},
        {"scroll", "scroll bar action", Join(kWindowAndControl, {"code", "pos", "repeat"}), {"hidden", "horizontal"}},
        {"msgbox", "read a message box (--title= is the caption)", kMessageBox, {}},
        {"msgbox-press", "press a message box's button", Join(kMessageBox, {"button"}), {}},
        {"groups", "program groups over DDE (PROGMAN)", {"timeout", "dde-timeout"}, {}},
        {"group-items", "the shortcuts of a group (of all users' with --common)", {"group"}, {"common"}},
        {"dde-exec", "one PROGMAN command", {"command", "timeout", "dde-timeout"}, {}},
        {"run", "run a program, exit code in full", {"cwd", "timeout"}, {}, true},
        {"processes", "processes of the prefix", {}, {}},
        {"serve", "commands from standard input, each answered by its lines, error=\"...\" and end=CODE", {}, {}},
        {"help", "this list", {}, {}},
    };
    return specs;
}

DriveCommandLine DriveCommandLine::Parse(const std::vector<std::string>& arguments,
                                         const std::vector<DriveCommandSpec>& specs)
{
    // A bare "--" ends the options: what follows is a program's own command
    // line, never parsed here.
    auto end = std::find(arguments.begin(), arguments.end(), std::string("--"));
    // CLI11 reads "--name=" as "--name" and takes the next argument for its
    // value: an empty value goes to it as an argument of its own.
    std::vector<std::string> options;
    for (auto argument = arguments.begin(); argument != end; ++argument) {
        const bool emptyValue = argument->size() > 3 && argument->compare(0, 2, "--") == 0 &&
                                argument->find('=') == argument->size() - 1;
        options.push_back(emptyValue ? argument->substr(0, argument->size() - 1) : *argument);
        if (emptyValue)
            options.emplace_back();
    }

    CLI::App app{"kelvodrive: drives and inspects Windows programs", "kelvodrive"};
    app.require_subcommand(1, 1);
    std::map<std::string, CLI::Option*> given;
    std::map<std::string, std::string> values;
    for (const DriveCommandSpec& spec : specs) {
        CLI::App* command = app.add_subcommand(spec.name, spec.summary);
        for (const std::string& name : spec.values) {
            // A map keyed by command and name: commands share option names.
            std::string& value = values[spec.name + " " + name];
            given[spec.name + " " + name] =
                command->add_option("--" + name, value)->multi_option_policy(CLI::MultiOptionPolicy::Throw);
        }
        for (const std::string& name : spec.flags)
            given[spec.name + " " + name] =
                command->add_flag("--" + name)->multi_option_policy(CLI::MultiOptionPolicy::Throw);
    }

    if (options.empty())
        throw DriveUsageError("no command given (try: kelvodrive help)");
    // CLI11 takes its arguments last first.
    std::vector<std::string> reversed(options.rbegin(), options.rend());
    try {
        app.parse(reversed);
    } catch (const CLI::ParseError& error) {
        std::string what = error.what();
        if (dynamic_cast<const CLI::CallForHelp*>(&error) != nullptr)
            what = "--help: try kelvodrive help";
        throw DriveUsageError(what);
    }

    DriveCommandLine line;
    const DriveCommandSpec* chosen = nullptr;
    for (const DriveCommandSpec& spec : specs)
        if (app.got_subcommand(spec.name))
            chosen = &spec;
    if (chosen == nullptr)
        throw DriveUsageError("no command given (try: kelvodrive help)");
    line.command_ = chosen->name;
    for (const std::string& name : Join(chosen->values, chosen->flags)) {
        const std::string key = chosen->name + " " + name;
        if (given[key]->count() > 0)
            line.options_[name] = values.count(key) ? values[key] : "";
    }
    if (end != arguments.end()) {
        if (!chosen->program)
            throw DriveUsageError("command '" + chosen->name + "' takes nothing after --");
        line.rest_.assign(end + 1, arguments.end());
    }
    return line;
}

std::string DriveCommandLine::Value(const std::string& name) const
{
    auto it = options_.find(name);
    return it == options_.end() ? std::string() : it->second;
}
