// The rules kelvopack applies to names before it writes a setup, and the
// small conversions they rest on.
#include "Codepage.h"
#include "Glob.h"
#include "ProjectCheck.h"

#include <gtest/gtest.h>

#include <string>

namespace {

bool PathOk(const std::string& path)
{
    std::string error;
    return CheckRelativePath(path, &error);
}

bool TitleOk(const std::string& title)
{
    std::string error;
    return CheckItemTitle(title, &error);
}

bool GroupOk(const std::string& name)
{
    std::string error;
    return CheckGroupName(name, &error);
}

bool FolderOk(const std::string& folder, bool root = false)
{
    std::string error;
    return CheckWindowsFolder(folder, root, &error);
}

bool GlobMatches(const std::string& pattern, const std::string& path)
{
    Glob glob;
    std::string error;
    EXPECT_TRUE(glob.Compile(pattern, &error)) << pattern << ": " << error;
    return glob.Match(path);
}

TEST(KelvopackRules, RelativePathsStayInsideTheDestination)
{
    EXPECT_TRUE(PathOk("app.exe"));
    EXPECT_TRUE(PathOk("Docs\\Guide\\start here.txt"));
    EXPECT_TRUE(PathOk("..hidden-but-legal"));
    EXPECT_FALSE(PathOk(""));
    EXPECT_FALSE(PathOk("..\\evil.exe"));
    EXPECT_FALSE(PathOk("a\\..\\b"));
    EXPECT_FALSE(PathOk("a\\.\\b"));
    EXPECT_FALSE(PathOk("\\Windows\\evil.dll"));
    EXPECT_FALSE(PathOk("C:\\evil.exe"));
    EXPECT_FALSE(PathOk("C:evil.exe"));
    EXPECT_FALSE(PathOk("a\\\\b"));
    EXPECT_FALSE(PathOk("folder\\"));
}

TEST(KelvopackRules, RelativePathsHoldOnlyWhatWindowsAndTheScriptKeep)
{
    EXPECT_FALSE(PathOk("mail@home.txt"));  // "@" comes back as a blank
    for (const char* bad : {"a<b", "a>b", "a\"b", "a|b", "a?b", "a*b", "a:b", "a/b", "tab\there"})
        EXPECT_FALSE(PathOk(bad)) << bad;
    EXPECT_FALSE(PathOk("name."));
    EXPECT_FALSE(PathOk("name "));
    EXPECT_FALSE(PathOk("sub \\x"));
    for (const char* device : {"CON", "nul.txt", "Com1", "lpt9.log", "AUX", "prn"})
        EXPECT_FALSE(PathOk(std::string("dir\\") + device)) << device;
    EXPECT_TRUE(PathOk("COM0"));
    EXPECT_TRUE(PathOk("console.txt"));
}

TEST(KelvopackRules, ItemTitlesFitTheRecordAndTheGroupCommand)
{
    EXPECT_TRUE(TitleOk("Demo App"));
    EXPECT_TRUE(TitleOk(std::string(63, 'x')));
    EXPECT_FALSE(TitleOk(std::string(64, 'x')));
    EXPECT_FALSE(TitleOk(""));
    EXPECT_FALSE(TitleOk(" Leading"));
    EXPECT_FALSE(TitleOk("at@sign"));
    for (const char* bad : {"a,b", "a(b", "a)b", "a[b", "a]b", "a\"b", "a\tb"})
        EXPECT_FALSE(TitleOk(bad)) << bad;
}

TEST(KelvopackRules, GroupNamesAlsoNameAFolderOfTheShell)
{
    EXPECT_TRUE(GroupOk("Demo App"));
    EXPECT_FALSE(GroupOk(""));
    EXPECT_FALSE(GroupOk("A/B"));
    EXPECT_FALSE(GroupOk("A\\B"));
    EXPECT_FALSE(GroupOk("A, B"));
    EXPECT_FALSE(GroupOk("A@B"));
    EXPECT_TRUE(GroupOk(std::string(240, 'g')));
    EXPECT_FALSE(GroupOk(std::string(241, 'g')));
}

TEST(KelvopackRules, WindowsFoldersAreAbsoluteAndEndWithABackslash)
{
    EXPECT_TRUE(FolderOk("C:\\Program Files\\Demo\\"));
    EXPECT_TRUE(FolderOk("d:\\x\\"));
    EXPECT_FALSE(FolderOk("C:\\Program Files\\Demo"));
    EXPECT_FALSE(FolderOk("\\Program Files\\Demo\\"));
    EXPECT_FALSE(FolderOk("Program Files\\"));
    EXPECT_FALSE(FolderOk("C:\\a\\..\\b\\"));
    EXPECT_FALSE(FolderOk("C:\\a\\\\b\\"));
    EXPECT_FALSE(FolderOk("C:\\"));  // uninstalling deletes the whole tree
    EXPECT_TRUE(FolderOk("C:\\", true));
}

TEST(KelvopackRules, DefaultSetupPathIsTheOutputsName)
{
    EXPECT_EQ(DefaultSetupPath("out/dir/demo-setup.exe"), "demo-setup.exe");
    EXPECT_EQ(DefaultSetupPath("setup.exe"), "setup.exe");
}

TEST(KelvopackCodepage, Utf8AndCodePage1252RoundTrip)
{
    std::string ansi;
    std::string error;
    ASSERT_TRUE(codepage::Utf8ToAnsi("Caf\xC3\xA9 \xE2\x82\xAC 5", &ansi, &error));
    EXPECT_EQ(ansi, "Caf\xE9 \x80 5");
    EXPECT_EQ(codepage::AnsiToUtf8(ansi), "Caf\xC3\xA9 \xE2\x82\xAC 5");
    EXPECT_FALSE(codepage::Utf8ToAnsi("\xE4\xB8\xAD", &ansi, &error));  // not in 1252
    EXPECT_NE(error.find("U+4E2D"), std::string::npos);
    EXPECT_FALSE(codepage::Utf8ToAnsi("bad \xC3", &ansi, &error));
    EXPECT_FALSE(codepage::Utf8ToAnsi("bad \xFF", &ansi, &error));
    EXPECT_EQ(codepage::AnsiToUtf8("\x81"), "\xC2\x81");  // undefined byte: its control character
    for (int b = 0x20; b < 0x100; ++b) {
        const std::string one(1, static_cast<char>(b));
        ASSERT_TRUE(codepage::Utf8ToAnsi(codepage::AnsiToUtf8(one), &ansi, &error)) << b;
        EXPECT_EQ(ansi, one) << b;
    }
}

TEST(KelvopackGlob, WildcardsStayWithinOneName)
{
    EXPECT_TRUE(GlobMatches("*.txt", "readme.txt"));
    EXPECT_FALSE(GlobMatches("*.txt", "docs/readme.txt"));
    EXPECT_TRUE(GlobMatches("docs/*.txt", "docs/readme.txt"));
    EXPECT_TRUE(GlobMatches("file?.dat", "file1.dat"));
    EXPECT_FALSE(GlobMatches("file?.dat", "file10.dat"));
    EXPECT_TRUE(GlobMatches("[a-c]x", "bx"));
    EXPECT_FALSE(GlobMatches("[!a-c]x", "bx"));
    EXPECT_TRUE(GlobMatches("[^a-c]x", "dx"));
    EXPECT_FALSE(GlobMatches("*.txt", "readme.TXT"));  // exact bytes
}

TEST(KelvopackGlob, DoubleStarSpansFoldersButNotHiddenOnes)
{
    EXPECT_TRUE(GlobMatches("**", "a/b/c.txt"));
    EXPECT_TRUE(GlobMatches("**/*.txt", "c.txt"));
    EXPECT_TRUE(GlobMatches("**/*.txt", "a/b/c.txt"));
    EXPECT_TRUE(GlobMatches("a/**/c.txt", "a/c.txt"));
    EXPECT_TRUE(GlobMatches("a/**/c.txt", "a/x/y/c.txt"));
    EXPECT_FALSE(GlobMatches("**", ".git/config"));
    EXPECT_FALSE(GlobMatches("**/*.txt", ".cache/c.txt"));
    EXPECT_FALSE(GlobMatches("*", ".hidden"));
    EXPECT_TRUE(GlobMatches(".*", ".hidden"));
    EXPECT_TRUE(GlobMatches(".git/**", ".git/config"));
}

TEST(KelvopackGlob, StarsBackTrackCorrectly)
{
    EXPECT_TRUE(GlobMatches("*a*b", "xaybzb"));
    EXPECT_TRUE(GlobMatches("a*b*c", "abbbc"));
    EXPECT_FALSE(GlobMatches("a*b*c", "abbbcd"));
    EXPECT_TRUE(GlobMatches("*?", "x"));
    EXPECT_FALSE(GlobMatches("*??", "x"));
    EXPECT_TRUE(GlobMatches("*[0-9]", "log12"));
    EXPECT_FALSE(GlobMatches("*[0-9]", "log12x"));
    EXPECT_TRUE(GlobMatches("*", ""));
    // A set that runs to the pattern's end takes its "]" as a member.
    EXPECT_TRUE(GlobMatches("x[!]", "xa"));
    EXPECT_FALSE(GlobMatches("x[!]", "x]"));
    EXPECT_TRUE(GlobMatches("*[!]", "abc"));
}

TEST(KelvopackGlob, ManyStarsOnLongNamesStayQuick)
{
    // Each pattern once took time exponential in its stars; now they answer
    // at once (a regression shows as this test timing out).
    const std::string name(200, 'a');
    EXPECT_FALSE(GlobMatches("*a*a*a*a*a*a*a*a*a*a*a*a*a*a*b", name));
    EXPECT_TRUE(GlobMatches("*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a", name));
    std::string deep;
    for (int i = 0; i < 60; ++i)
        deep += "d/";
    EXPECT_FALSE(GlobMatches("**/d/**/d/**/d/**/d/**/d/**/x", deep + "y"));
    EXPECT_TRUE(GlobMatches("**/d/**/d/**/d/**/d/**/d/**/y", deep + "y"));
}

TEST(KelvopackGlob, MalformedPatternsAreRefused)
{
    Glob glob;
    std::string error;
    for (const char* bad : {"", "/abs/*", "a\\b", "a//b", "../x", "a**b", "x[ab"})
        EXPECT_FALSE(glob.Compile(bad, &error)) << bad;
}

}  // namespace
