// The setup program's options for unattended runs.
#include "CommandLine.h"
#include "StatusText.h"

#include <gtest/gtest.h>

namespace {

TEST(CommandLine, SwitchesAndADestinationThatTakesTheRestOfTheLine)
{
    cmdline::Options o;
    std::string error;
    ASSERT_TRUE(Succeeded(cmdline::Parse("", &o), &error));
    EXPECT_FALSE(o.silent);
    EXPECT_FALSE(o.hasDestination);

    ASSERT_TRUE(
        Succeeded(cmdline::Parse(" /s /Mode=Typical \"/GROUP=My Tools\" /D=C:\\Program Files\\My App  ", &o), &error));
    EXPECT_TRUE(o.silent);
    EXPECT_EQ(o.mode, 'T');
    EXPECT_EQ(o.group, "My Tools");
    EXPECT_EQ(o.destination, "C:\\Program Files\\My App");
    ASSERT_TRUE(Succeeded(cmdline::Parse("/S /D=\"D:\\x y\\\"", &o), &error));
    EXPECT_EQ(o.destination, "D:\\x y\\");
    ASSERT_TRUE(Succeeded(cmdline::Parse("/S \"/D=C:\\Program Files\\App\"", &o), &error));
    EXPECT_EQ(o.destination, "C:\\Program Files\\App");
    ASSERT_TRUE(Succeeded(cmdline::Parse("/D=C:\\a /S", &o), &error));  // /D is last: the rest is the folder
    EXPECT_FALSE(o.silent);
    EXPECT_EQ(o.destination, "C:\\a /S");

    for (const char* bad : {"/X", "/MODE=huge", "/D=", "/S extra", "-S", "/MODE"}) {
        EXPECT_FALSE(Succeeded(cmdline::Parse(bad, &o), &error)) << bad;
        EXPECT_FALSE(error.empty());
    }

    EXPECT_EQ(cmdline::ArgumentsOf("\"C:\\My Setup\\setup.exe\" /S /D=C:\\x"), " /S /D=C:\\x");
    EXPECT_EQ(cmdline::ArgumentsOf("setup.exe"), "");
}

TEST(CommandLine, ModesAreTheAskedOneWhenOfferedElseTheSmallestOffered)
{
    std::string letters;
    std::string error;
    ASSERT_TRUE(Succeeded(cmdline::ModeLetters(0, "FTM", &letters), &error));
    EXPECT_EQ(letters, "XXM");
    ASSERT_TRUE(Succeeded(cmdline::ModeLetters(0, "FTX", &letters), &error));
    EXPECT_EQ(letters, "XTX");
    ASSERT_TRUE(Succeeded(cmdline::ModeLetters(0, "XXX", &letters), &error));
    EXPECT_EQ(letters, "XXX");
    ASSERT_TRUE(Succeeded(cmdline::ModeLetters('F', "FTM", &letters), &error));
    EXPECT_EQ(letters, "FXX");
    EXPECT_FALSE(Succeeded(cmdline::ModeLetters('M', "FTX", &letters), &error));
    EXPECT_NE(error.find("minimal"), std::string::npos);
}

TEST(CommandLine, TheRelaunchArgumentCarriesBothHandlesThere)
{
    cmdline::Options o;
    std::string error;
    ASSERT_TRUE(Succeeded(cmdline::Parse(cmdline::RelaunchArgument(0x1F4, 0) + " /S", &o), &error)) << error;
    EXPECT_TRUE(o.relaunched);
    EXPECT_TRUE(o.silent);
    EXPECT_EQ(o.parentProcess, 0x1F4u);
    EXPECT_EQ(o.resultPipe, 0u);
    const uint64_t big = UINT64_MAX - 1;
    ASSERT_TRUE(Succeeded(cmdline::Parse(" " + cmdline::RelaunchArgument(big, 7), &o), &error)) << error;
    EXPECT_TRUE(o.relaunched);
    EXPECT_FALSE(o.silent);
    EXPECT_EQ(o.parentProcess, big);
    EXPECT_EQ(o.resultPipe, 7u);
    // Without it, a run is no relaunched copy.
    ASSERT_TRUE(Succeeded(cmdline::Parse("/S", &o), &error));
    EXPECT_FALSE(o.relaunched);
    EXPECT_EQ(o.parentProcess, 0u);

    for (const char* bad : {"/RELAUNCH=", "/RELAUNCH=12", "/RELAUNCH=0,5", "/RELAUNCH=1,", "/RELAUNCH=,1",
                            "/RELAUNCH=1,2,3", "/RELAUNCH=-1,2", "/RELAUNCH=0x10,2", "/RELAUNCH=18446744073709551616,0",
                            "/RELAUNCH=1,99999999999999999999999"}) {
        EXPECT_FALSE(Succeeded(cmdline::Parse(bad, &o), &error)) << bad;
        EXPECT_NE(error.find("RELAUNCH"), std::string::npos) << bad << ": " << error;
    }
}

}  // namespace
