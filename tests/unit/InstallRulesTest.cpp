// What the installation and uninstallation check before they write or
// delete anything: the mode's records, the destination, the folders that
// must never be deleted, and the working files read as whole lines.
#include "FolderGuard.h"
#include "InstallRules.h"
#include "TListaDado.h"
#include "WorkingFiles.h"

#include "TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <string>
#include <vector>

namespace {

TEST(FolderGuard, PathsAreComparedAsWindowsResolvesThem)
{
    const std::string current = "C:\\windows\\TEMP";
    const struct {
        const char* typed;
        const char* full;
    } cases[] = {
        {"C:\\Program Files\\App", "C:\\Program Files\\App\\"},
        {"c:\\.\\", "C:\\"},
        {"C:\\X\\..\\", "C:\\"},
        {"C:\\..\\..\\", "C:\\"},  // above the root stays at the root
        {".\\", "C:\\windows\\TEMP\\"},
        {"", "C:\\windows\\TEMP\\"},
        {"..\\..\\", "C:\\"},
        {"\\Apps\\x", "C:\\Apps\\x\\"},
        {"C:Apps", "C:\\windows\\TEMP\\Apps\\"},
        {"C:\\Windows.\\", "C:\\Windows\\"},  // trailing dots and blanks go
        {"C:\\Windows \\...\\", "C:\\Windows\\"},
        {"C:/a//b/", "C:\\a\\b\\"},
        {"\\\\?\\C:\\a\\..\\b", "C:\\b\\"},
        {"\\\\server\\share\\a\\..\\..", "\\\\server\\share\\"},
        {"\\\\?\\UNC\\server\\share\\d", "\\\\server\\share\\d\\"},
        {"D:x", ""},  // another drive's current folder is unknown
        {"\\\\.\\PhysicalDrive0", ""},
        {"\\\\server", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(guard::FullFolder(c.typed, current), c.full) << c.typed;
    EXPECT_EQ(guard::FullFolder("x", "relative"), "");

    EXPECT_TRUE(guard::IsWithin("C:\\WINDOWS\\system32\\", "c:\\windows\\"));
    EXPECT_FALSE(guard::IsWithin("C:\\WindowsApps\\", "C:\\Windows\\"));
}

TEST(FolderGuard, NeverDeletesRootsTheSystemOrFoldersThatHoldTheUsersData)
{
    guard::ProtectedFolders system;
    system.trees = {"C:\\windows\\"};
    system.folders = {"C:\\users\\me\\", "C:\\Program Files\\", "C:\\users\\me\\Documents\\"};
    const auto refused = [&system](const std::string& typed) {
        return !guard::WhyProtected(guard::FullFolder(typed, "C:\\windows\\TEMP"), system).empty();
    };
    for (const char* bad :
         {"C:\\", "C:\\.\\", "C:\\X\\..\\", ".\\", "", "D:\\", "\\\\server\\share\\", "C:\\Windows\\", "C:\\WINDOWS.\\",
          "C:\\windows\\system32\\", "C:\\windows\\TEMP\\", "C:\\users\\", "C:\\users\\me\\",
          "C:\\Users\\Me\\Documents", "C:\\Program Files\\", "C:\\Program Files\\..\\", "D:rel"})
        EXPECT_TRUE(refused(bad)) << bad;
    for (const char* good : {"C:\\Program Files\\App\\", "C:\\users\\me\\Documents\\App\\", "C:\\Apps\\x\\",
                             "D:\\Games\\", "\\\\server\\share\\app\\", "C:\\WindowsApps\\"})
        EXPECT_FALSE(refused(good)) << good;
    const std::string why = guard::WhyProtected("C:\\", system);
    EXPECT_NE(why.find("\"C:\\\""), std::string::npos) << why;
}

TEST(FolderGuard, AnElevatedSetupGivesWhatItMakesOutsideProgramFilesTheirProtection)
{
    const std::vector<std::string> programFiles = {"C:\\Program Files\\", "C:\\Program Files (x86)\\"};
    const char* const protectedAccess = guard::kProgramFilesAccess;
    EXPECT_EQ(guard::DestinationAccess(true, "C:\\Apps\\Demo\\", programFiles), protectedAccess);
    EXPECT_EQ(guard::DestinationAccess(true, "D:\\Program Files\\Demo\\", programFiles), protectedAccess);
    EXPECT_EQ(guard::DestinationAccess(true, "C:\\Program Files Old\\Demo\\", programFiles), protectedAccess);
    // Program Files passes its own on; an unelevated setup installs for its user.
    EXPECT_EQ(guard::DestinationAccess(true, "c:\\program files\\Demo\\", programFiles), nullptr);
    EXPECT_EQ(guard::DestinationAccess(true, "C:\\Program Files (x86)\\Demo\\Sub\\", programFiles), nullptr);
    EXPECT_EQ(guard::DestinationAccess(false, "C:\\Apps\\Demo\\", programFiles), nullptr);
    EXPECT_EQ(guard::DestinationAccess(true, "", programFiles), nullptr);

    // Nothing comes from above (where any user may write); administrators
    // and the system may do everything, a creator with what it makes;
    // users read and run, and change nothing: no other entry at all.
    const std::string access = protectedAccess;
    EXPECT_EQ(access.compare(0, 3, "D:P"), 0) << access;
    EXPECT_EQ(std::count(access.begin(), access.end(), '('), 4) << access;
    for (const char* full : {"(A;OICI;FA;;;SY)", "(A;OICI;FA;;;BA)", "(A;OICIIO;GA;;;CO)"})
        EXPECT_NE(access.find(full), std::string::npos) << full;
    std::smatch users;
    ASSERT_TRUE(std::regex_search(access, users, std::regex(R"(\(A;OICI;0x([0-9a-f]+);;;BU\))"))) << access;
    const unsigned long mask = std::stoul(users[1], nullptr, 16);
    const unsigned long readAndExecute = 0x1200a9;  // FILE_GENERIC_READ | FILE_GENERIC_EXECUTE
    const unsigned long anyChange = 0x000d0156;     // write, append, extended attributes, delete child,
                                                    // attributes, delete, access list, owner
    EXPECT_EQ(mask & readAndExecute, readAndExecute);
    EXPECT_EQ(mask & anyChange, 0u);
}

TEST(InstallRules, ModesSelectTheirRecordsAndTheRecordsAreCheckedFirst)
{
    TListaDado list;
    list.Add("app.exe", "App", 100, 50, 1, 1, 1, 1);
    list.Add("help\\app.hlp", "Help", 200, 80, 1, 1, 0, 0);
    list.Add("extra.dll", "_", 300, 90, 0, 1, 0, 1);
    list.Add("c:\\Windows\\TEMP\\kelvo.bmp", "_", 400, 10, 0, 0, 0, 0);  // a display file
    EXPECT_EQ(install::SelectedBytes(list, "FXX"), 600u);
    EXPECT_EQ(install::SelectedBytes(list, "XTX"), 100u);
    EXPECT_EQ(install::SelectedBytes(list, "XXM"), 400u);
    EXPECT_EQ(install::SelectedBytes(list, "XXX"), 0u);
    EXPECT_EQ(install::MemberName(list, 2, "XXM"), "extra.dll");
    EXPECT_EQ(install::MemberName(list, 2, "XTX"), "?record 2");
    EXPECT_TRUE(install::CheckRecords(list, "FXX"));

    const auto refusal = [](const char* name, int group, int full, const char* modos) {
        TListaDado hostile;
        hostile.Add("ok.txt", "_", 1, 1, 0, 1, 1, 1);
        hostile.Add(name, group ? "Item" : "_", 1, 1, group, full, 0, 0);
        return install::CheckRecords(hostile, modos);
    };
    for (const char* outside : {"..\\evil.exe", "a\\..\\..\\evil", "C:\\evil", "\\evil", "", "D:evil"}) {
        const Status status = refusal(outside, 0, 1, "FXX");
        EXPECT_FALSE(status.Ok()) << outside;
        EXPECT_NE(status.Text().find("outside the destination"), std::string::npos) << status.Text();
        EXPECT_NE(status.Text().find("Nothing has been installed"), std::string::npos);
        EXPECT_FALSE(refusal(outside, 1, 0, "FXX").Ok()) << "its program item would point outside";
        EXPECT_TRUE(refusal(outside, 0, 1, "XTX").Ok()) << "a record the mode leaves out writes nothing";
    }
    EXPECT_FALSE(refusal("MODO.SE", 0, 1, "FXX").Ok());
    EXPECT_TRUE(refusal("sub\\modo.se", 0, 1, "FXX").Ok());
    EXPECT_FALSE(refusal("OK.TXT", 0, 1, "FXX").Ok());  // one file on Windows
    TListaDado injected;                                // a title that would end the command and start another
    injected.Add("a.exe", "x)][DeleteGroup(Accessories", 1, 1, 1, 1, 0, 0);
    EXPECT_FALSE(install::CheckRecords(injected, "XTX").Ok());
    EXPECT_TRUE(refusal("OK.TXT", 0, 1, "XTX").Ok());
}

TEST(InstallRules, GroupNamesAndDestinationsTheUserTypes)
{
    EXPECT_TRUE(install::CheckGroupName("My App 2.0"));
    for (const char* bad : {"", "a,b", "a(b)", "[x]", "say \"hi\"", "tab\there"})
        EXPECT_FALSE(install::CheckGroupName(bad).Ok()) << bad;

    guard::ProtectedFolders system;
    system.trees = {"C:\\windows\\"};
    std::string full;
    ASSERT_TRUE(install::CheckDestination("C:\\Program Files\\.\\App", "C:\\windows\\TEMP", system, &full));
    EXPECT_EQ(full, "C:\\Program Files\\App\\");
    for (const char* bad : {"App\\", "\\App", "C:\\", "C:\\windows\\TEMP", "C:\\Windows\\App\\", "C:App"}) {
        const Status status = install::CheckDestination(bad, "C:\\windows\\TEMP", system, &full);
        EXPECT_FALSE(status.Ok()) << bad;
        EXPECT_TRUE(full.empty());
        EXPECT_NE(status.Text().find("Please choose another destination folder."), std::string::npos);
    }
}

TEST(WorkingFiles, LinesComeBackWholeWithTheirBlanks)
{
    TempDir dir;
    ASSERT_TRUE(working::Write("apend.se", "My Setup 2.exe"));
    std::string line;
    ASSERT_TRUE(working::ReadLine("apend.se", &line));
    EXPECT_EQ(line, "My Setup 2.exe");
    ASSERT_TRUE(working::Write("cur.se", "C:\\Down loads\r\nsecond"));
    ASSERT_TRUE(working::ReadLine("cur.se", &line));
    EXPECT_EQ(line, "C:\\Down loads");
    ASSERT_TRUE(working::Write("long.se", std::string(511, 'x') + "\r\n"));
    EXPECT_TRUE(working::ReadLine("long.se", &line));
    ASSERT_TRUE(working::Write("long.se", std::string(512, 'x')));
    EXPECT_FALSE(working::ReadLine("long.se", &line));
    EXPECT_FALSE(working::ReadLine("missing.se", &line));
    std::string all;
    EXPECT_TRUE(working::ReadAll("cur.se", &all, 100));
    EXPECT_EQ(all, "C:\\Down loads\r\nsecond");
    EXPECT_FALSE(working::ReadAll("cur.se", &all, 5));
    EXPECT_FALSE(working::ReadAll("cur.se", &all, 20));
    EXPECT_TRUE(working::ReadAll("cur.se", &all, 21));  // exactly its size
}

}  // namespace
