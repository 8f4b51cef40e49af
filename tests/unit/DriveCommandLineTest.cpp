// kelvodrive's command line: what each command accepts, and every way a
// command line is refused (a usage error, exit code 2, never a silent
// default that would let a mistyped test pass).
#include "DriveCommandLine.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

namespace {

DriveCommandLine Parse(const std::vector<std::string>& arguments)
{
    return DriveCommandLine::Parse(arguments);
}

// The usage error's text, or "" when the line was taken.
std::string Refusal(const std::vector<std::string>& arguments)
{
    try {
        Parse(arguments);
    } catch (const DriveUsageError& error) {
        return error.what();
    }
    return "";
}

TEST(DriveCommandLine, OptionsFlagsAndTheProgramAfterTheDashes)
{
    DriveCommandLine click = Parse({"click", "--title=Setup", "--id=1001", "--force", "--timeout=500"});
    EXPECT_EQ(click.Command(), "click");
    EXPECT_EQ(click.Value("title"), "Setup");
    EXPECT_EQ(click.Value("id"), "1001");
    EXPECT_EQ(click.Value("timeout"), "500");
    EXPECT_TRUE(click.Has("force"));
    EXPECT_EQ(click.Value("force"), "");
    EXPECT_FALSE(click.Has("hidden"));
    EXPECT_FALSE(click.Has("text"));
    EXPECT_TRUE(click.Rest().empty());

    // A value may begin with dashes or hold '=' and blanks; an empty value
    // is given, not absent.
    DriveCommandLine typed = Parse({"type", "--value=--not-an-option=1", "--text=", "--class=My Class"});
    EXPECT_EQ(typed.Value("value"), "--not-an-option=1");
    EXPECT_TRUE(typed.Has("text"));
    EXPECT_EQ(typed.Value("text"), "");
    EXPECT_EQ(typed.Value("class"), "My Class");

    // After a bare "--" everything is the program's, options of kelvodrive's
    // own names and further dashes included.
    DriveCommandLine run = Parse({"run", "--cwd=C:\\Demo", "--", "setup.exe", "/S", "--timeout=1", "--", "x"});
    EXPECT_EQ(run.Value("cwd"), "C:\\Demo");
    EXPECT_FALSE(run.Has("timeout"));
    EXPECT_EQ(run.Rest(), (std::vector<std::string>{"setup.exe", "/S", "--timeout=1", "--", "x"}));

    EXPECT_TRUE(Parse({"group-items", "--group=Kelvo Demo", "--common"}).Has("common"));
    EXPECT_EQ(Parse({"processes"}).Command(), "processes");
}

TEST(DriveCommandLine, RefusesWhatNoCommandTakes)
{
    EXPECT_NE(Refusal({}), "");
    EXPECT_NE(Refusal({"no-such-command"}), "");
    // An option of another command, a misspelt one, one given twice.
    EXPECT_NE(Refusal({"click", "--id=1", "--value=x"}), "");
    EXPECT_NE(Refusal({"windows", "--titel=Setup"}), "");
    EXPECT_NE(Refusal({"click", "--id=1", "--id=2"}), "");
    // A value option without its value.
    EXPECT_NE(Refusal({"set-text", "--id=1", "--value"}), "");
    // Loose words, two commands, a program for a command that runs none.
    EXPECT_NE(Refusal({"windows", "stray"}), "");
    EXPECT_NE(Refusal({"windows", "children"}), "");
    EXPECT_NE(Refusal({"click", "--id=1", "--", "setup.exe"}), "");
    // What is refused is said.
    EXPECT_NE(Refusal({"windows", "--titel=Setup"}).find("titel"), std::string::npos);
    EXPECT_NE(Refusal({"click", "--", "x"}).find("click"), std::string::npos);
}

TEST(DriveCommandLine, EveryCommandTakesTheOptionsItsFiltersRead)
{
    const std::vector<DriveCommandSpec>& specs = DriveCommandSpecs();
    std::set<std::string> names;
    for (const DriveCommandSpec& spec : specs) {
        EXPECT_TRUE(names.insert(spec.name).second) << spec.name << " listed twice";
        std::set<std::string> options(spec.values.begin(), spec.values.end());
        for (const std::string& flag : spec.flags)
            EXPECT_TRUE(options.insert(flag).second) << spec.name << ": --" << flag << " both flag and value";
        EXPECT_FALSE(spec.summary.empty()) << spec.name;
    }
    // Each command that finds a control takes every way of choosing the
    // window and the control, which its filters read.
    for (const char* command : {"wait", "wait-gone", "click", "set-text", "type", "select", "items", "scroll"})
        for (const char* option : {"--hwnd=0x10", "--title=T", "--title-part=T", "--class=C", "--exe=a.exe", "--pid=4",
                                   "--timeout=1", "--min-children=2", "--ctl-hwnd=0x20", "--id=3", "--text=T",
                                   "--text-part=T", "--ctl-class=Button", "--nth=1", "--hidden"})
            EXPECT_EQ(Refusal({command, option}), "") << command << " " << option;
    for (const char* option : {"--hwnd=0x10", "--title=T", "--title-part=T", "--exe=a.exe", "--pid=4", "--timeout=1"})
        EXPECT_EQ(Refusal({"msgbox", option}), "") << option;
    EXPECT_EQ(Refusal({"msgbox-press", "--button=YES"}), "");
    EXPECT_NE(Refusal({"msgbox", "--id=1"}), "");
    EXPECT_EQ(Refusal({"scroll", "--id=1", "--code=LINEDOWN", "--pos=3", "--repeat=2", "--horizontal"}), "");
    EXPECT_EQ(Refusal({"select", "--id=1", "--item=2", "--double"}), "");
    EXPECT_EQ(Refusal({"select", "--id=1", "--string=beta"}), "");
    EXPECT_EQ(Refusal({"close", "--all", "--exe=a.exe"}), "");
    EXPECT_EQ(Refusal({"wait", "--id=1", "--enabled"}), "");
    EXPECT_EQ(Refusal({"dde-exec", "--command=[ShowGroup(X,1)]", "--dde-timeout=100", "--timeout=1"}), "");
    EXPECT_EQ(Refusal({"groups", "--timeout=1", "--dde-timeout=100"}), "");
    EXPECT_NE(Refusal({"processes", "--timeout=1"}), "");
}

}  // namespace
