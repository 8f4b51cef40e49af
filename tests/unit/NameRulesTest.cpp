// The names a setup stores: each kind refused when it cannot be written and
// read back unchanged, or when Windows or the group service would take it
// for another; and the doors that ask (arguments, start-up, the records and
// the destination before an installation, kelvopack's project check).
#include "CommandLine.h"
#include "FileSys.h"
#include "FolderGuard.h"
#include "GroupCommand.h"
#include "InstallRules.h"
#include "NameRules.h"
#include "ProjectCheck.h"
#include "ScriptText.h"
#include "SetupLayout.h"
#include "StartupRules.h"
#include "TListaDado.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Case {
    std::string name;
    const char* reason;  // a part of the reason; null: accepted
};

// Every case through `why`: accepted ones give no reason, refused ones
// give one holding `reason`.
template <typename Why>
void ExpectVerdicts(const std::vector<Case>& cases, Why why)
{
    for (const Case& c : cases) {
        const std::string got = why(c.name);
        if (c.reason == nullptr)
            EXPECT_EQ(got, "") << "\"" << c.name << "\"";
        else
            EXPECT_NE(got.find(c.reason), std::string::npos) << "\"" << c.name << "\": " << got;
    }
}

// The group name through its stored form (uninstall.s_) and back.
std::string StoredAndBack(std::string name)
{
    Retifica(&name[0]);
    std::string group;
    std::string destination;
    if (!layout::ParseUninstallData(layout::FormatUninstallData(name, "C:\\App\\"), &group, &destination))
        return "?unreadable";
    Normaliza(&group[0]);
    return group;
}

TEST(NameRules, DevicesInAnyCaseWithOrWithoutAnExtension)
{
    for (const char* device : {"CON", "con", "Prn", "AUX", "nul", "NUL.txt", "nul.tar.gz", "CON .txt", "COM1",
                               "com9.log", "LPT1", "lpt9", "CONIN$", "conout$", "COM\xB9", "LPT\xB2.x"})
        EXPECT_TRUE(names::IsDeviceName(device)) << device;
    for (const char* name :
         {"CONSOLE", "console.txt", "COM0", "COM10", "LPT", "NULL", "xCON", ".nul", "AUX1", "COM\xB4", "", "CO"})
        EXPECT_FALSE(names::IsDeviceName(name)) << name;
}

TEST(NameRules, GroupNamesComeBackAsTheyWereTyped)
{
    const std::string longest(names::kGroupNameMax, 'g');
    ExpectVerdicts({{"My Apps", nullptr},
                    {"Demo App 2.0", nullptr},
                    {"Caf\xE9 & Co; Tools!", nullptr},
                    {longest, nullptr},
                    {"", "is empty"},
                    {" My Apps", "begins with a blank"},
                    {"My@Apps", "cannot hold \"@\""},
                    {"@Apps", "cannot hold \"@\""},
                    {"a,b", "cannot hold \",\": it would break"},
                    {"a(b", "cannot hold \"(\""},
                    {"x)][DeleteGroup(Accessories", "cannot hold \")\""},
                    {"[x]", "cannot hold \"[\""},
                    {"say \"hi\"", "cannot hold \"\"\""},
                    {"tab\there", "a control character"},
                    {"A\\B", "cannot hold \"\\\""},
                    {"A/B", "cannot hold \"/\""},
                    {"..\\..\\Startup", "cannot hold \"\\\""},
                    {"C:", "cannot hold \":\""},
                    {"what?", "cannot hold \"?\""},
                    {"a*", "cannot hold \"*\""},
                    {"<a>", "cannot hold \"<\""},
                    {"a|b", "cannot hold \"|\""},
                    {"My Apps.", "ends with a dot"},
                    {"..", "ends with a dot"},
                    {"My Apps ", "ends with a blank"},
                    {"CON", "reserves for a device"},
                    {"nul.group", "reserves for a device"},
                    {"Lpt1", "reserves for a device"},
                    {longest + "g", "has 241 characters"},
                    {std::string(600, 'g'), "at most 240"}},
                   names::WhyNotGroupName);
    EXPECT_EQ(names::kGroupNameMax, 240u);

    // What is accepted is what the stored form gives back; "@" is the one
    // character it would not.
    for (const char* name : {"My Apps", "A  B", "x", "Tools 1 2 3", "Caf\xE9 Tools"}) {
        ASSERT_EQ(names::WhyNotGroupName(name), "") << name;
        EXPECT_EQ(StoredAndBack(name), name);
    }
    EXPECT_EQ(StoredAndBack("My@Apps"), "My Apps");
}

TEST(NameRules, ItemTitlesAreShortcutNamesInTheGroupsFolder)
{
    ExpectVerdicts({{"Demo App", nullptr},
                    {"Read me.", nullptr},  // ".lnk" follows it
                    {"Read me ", nullptr},
                    {std::string(63, 'x'), nullptr},
                    {std::string(64, 'x'), "has 64 characters"},
                    {"", "is empty"},
                    {" Leading", "begins with a blank"},
                    {"at@sign", "cannot hold \"@\""},
                    {"a,b", "cannot hold \",\""},
                    {"a]b", "cannot hold \"]\""},
                    {"a\tb", "control character"},
                    {"..\\..\\evil", "cannot hold \"\\\""},
                    {"a/b", "cannot hold \"/\""},
                    {"a:b", "cannot hold \":\""},
                    {"CON", "reserves for a device"},
                    {"Aux", "reserves for a device"}},
                   names::WhyNotItemTitle);

    // The titles accepted come back through the script's record unchanged.
    for (const char* title : {"Demo App", "A  B", "Read me.", "x"}) {
        ScriptRecord record;
        record.arq = "C:\\K\\a.exe";
        record.nome = title;
        ScriptRecord back;
        std::string error;
        ASSERT_TRUE(ScriptText::ParseRecord(ScriptText::FormatRecord(record), &back, &error)) << error;
        EXPECT_EQ(back.nome, title);
    }
}

TEST(NameRules, RecordPathsStayInsideAndComeBackAsWritten)
{
    const std::string outside = "outside the destination folder";
    ExpectVerdicts({{"app.exe", nullptr},
                    {"Docs\\Guide\\start here.txt", nullptr},
                    {"..hidden-but-legal", nullptr},
                    {" lead\\x.txt", nullptr},
                    {"sub\\console.txt", nullptr},
                    {"COM0", nullptr},
                    {std::string(255, 'n'), nullptr},
                    {"", outside.c_str()},
                    {"..\\evil.exe", outside.c_str()},
                    {"a\\..\\..\\evil", outside.c_str()},
                    {"a/../b", outside.c_str()},
                    {"a\\.\\b", outside.c_str()},
                    {"\\Windows\\evil.dll", outside.c_str()},
                    {"/etc", outside.c_str()},
                    {"C:\\evil.exe", outside.c_str()},
                    {"D:evil", outside.c_str()},
                    {"mail@home.txt", "holds \"@\""},
                    {"a\\\\b", "empty folder name"},
                    {"folder\\", "empty folder name"},
                    {"a/b", "holds \"/\""},
                    {"ab:c", "holds \":\""},
                    {"a:b", outside.c_str()},  // drive A, relative
                    {"a\"b", "holds \"\"\""},
                    {"a<b", "holds \"<\""},
                    {"a|b", "holds \"|\""},
                    {"a?b", "holds \"?\""},
                    {"a*b", "holds \"*\""},
                    {"tab\there", "control character"},
                    {"name.", "ends with a dot"},
                    {"sub.\\x", "ends with a dot"},
                    {"name ", "ends with a blank"},
                    {"sub \\x", "ends with a blank"},
                    {"CON", "holds \"CON\", a name Windows reserves for a device"},
                    {"sub\\nul.txt", "holds \"nul.txt\", a name Windows reserves"},
                    {"AUX\\readme.txt", "holds \"AUX\""},
                    {"a\\b\\com1.dll", "holds \"com1.dll\""},
                    {"Lpt9", "reserves for a device"},
                    {std::string(256, 'n'), "has 256 characters"}},
                   names::WhyNotRecordPath);
}

TEST(NameRules, DestinationsAreFoldersWindowsKeepsAsWritten)
{
    ExpectVerdicts({{"C:\\Program Files\\Demo App\\", nullptr},
                    {"C:\\Program Files (x86)\\A@B\\", nullptr},  // stored as it is
                    {"C:\\", nullptr},
                    {"\\\\server\\share\\app\\", nullptr},
                    {"\\\\server\\share\\", nullptr},
                    {"C:\\Apps\\Demo", "does not end with a backslash"},
                    {"Apps\\", "no full path"},
                    {"\\\\server\\", "no full path"},
                    {"\\\\\\share\\x\\", "no full path"},
                    {"C:\\CON\\App\\", "holds \"CON\", a name Windows reserves"},
                    {"C:\\Apps\\lpt1.old\\", "reserves for a device"},
                    {"C:\\Apps\\a*\\", "holds \"*\""},
                    {"C:\\Apps\\a:b\\", "holds \":\""},
                    {"C:\\Apps\\a?\\", "holds \"?\""},
                    {"C:\\Ap\tps\\", "control character"},
                    {"C:\\Apps.\\x\\", "ends with a dot"},
                    {"C:\\a\\..\\b\\", "\"..\""},
                    {"C:\\a\\\\b\\", "empty folder name"},
                    {"C:\\" + std::string(508, 'd') + "\\", "has 512 characters"}},
                   names::WhyNotDestination);
}

TEST(NameDoors, ArgumentsRefuseAGroupNameBeforeAnythingRuns)
{
    cmdline::Options options;
    ASSERT_TRUE(cmdline::Parse("/S /GROUP=Tools", &options));
    EXPECT_EQ(options.group, "Tools");
    ASSERT_TRUE(cmdline::Parse("/S \"/GROUP=My Apps\" /D=C:\\x", &options));
    EXPECT_EQ(options.group, "My Apps");
    const struct {
        const char* arguments;
        const char* reason;
    } refused[] = {{"/S /GROUP=My@Apps", "\"My@Apps\" cannot hold \"@\""},
                   {"/S \"/GROUP= Lead\"", "begins with a blank"},
                   {"/S /GROUP=A\\B", "cannot hold \"\\\""},
                   {"/S /GROUP=CON", "reserves for a device"},
                   {"/S /GROUP=Dot.", "ends with a dot"},
                   {"/S /GROUP=a,b", "cannot hold \",\""},
                   {"/S /GROUP=", "is empty"}};
    for (const auto& r : refused) {
        const Status status = cmdline::Parse(r.arguments, &options);
        EXPECT_EQ(status.What(), Fault::kRefused) << r.arguments;
        EXPECT_NE(status.Text().find("program group's name"), std::string::npos) << status.Text();
        EXPECT_NE(status.Text().find(r.reason), std::string::npos) << r.arguments << ": " << status.Text();
    }
    const Status longName = cmdline::Parse("/S /GROUP=" + std::string(300, 'g') + " /D=C:\\x", &options);
    EXPECT_NE(longName.Text().find("has 300 characters"), std::string::npos) << longName.Text();
}

TEST(NameDoors, StartUpRefusesTheScriptsOwnGroupAsDamage)
{
    EXPECT_TRUE(startup::CheckScriptGroup("Demo App"));
    EXPECT_TRUE(startup::CheckScriptGroup(""));  // none: the user types one
    for (const std::string& bad :
         {std::string("My@Apps"), std::string(241, 'g'), std::string("A\\B"), std::string("Trail ")}) {
        const Status status = startup::CheckScriptGroup(bad);
        EXPECT_EQ(status.What(), Fault::kDamaged) << bad;
        EXPECT_NE(status.Text().find("The setup is damaged"), std::string::npos) << status.Text();
        EXPECT_NE(status.Text().find(names::WhyNotGroupName(bad)), std::string::npos) << status.Text();
        EXPECT_NE(status.Text().find("Nothing has been installed."), std::string::npos) << status.Text();
    }
}

TEST(NameDoors, TheOptionsPageAndTheProceduresRefuseWithTheReason)
{
    EXPECT_TRUE(install::CheckGroupName("My Apps"));
    const Status at = install::CheckGroupName("My@Apps");
    EXPECT_EQ(at.What(), Fault::kRefused);
    EXPECT_EQ(at.Text(),
              "The program group's name " + names::WhyNotGroupName("My@Apps") + ".\nPlease choose another name.");
    EXPECT_EQ(install::CheckGroupName("").Text(), "Please type the name of the program group.");
    EXPECT_FALSE(install::CheckGroupName(std::string(241, 'g')).Ok());

    // A device anywhere in a record installed or given an item: refused
    // before anything is written, naming the record and the reason.
    const auto records = [](const char* name, const char* title, int group, int full) {
        TListaDado list;
        list.Add("app.exe", "App", 1, 1, 1, 1, 1, 1);
        list.Add(name, title, 1, 1, group, full, 0, 0);
        return install::CheckRecords(list, "FXX");
    };
    for (const char* device : {"CON", "sub\\nul.txt", "Aux.dat", "COM1\\x", "a\\lpt2"}) {
        const Status status = records(device, "_", 0, 1);
        EXPECT_EQ(status.What(), Fault::kDamaged) << device;
        EXPECT_NE(status.Text().find("file 2 (\"" + std::string(device) + "\")"), std::string::npos) << status.Text();
        EXPECT_NE(status.Text().find("reserves for a device"), std::string::npos) << status.Text();
        EXPECT_NE(status.Text().find("Nothing has been installed."), std::string::npos) << status.Text();
        EXPECT_TRUE(records(device, "_", 0, 0).Ok()) << "a record the mode leaves out writes nothing";
    }
    EXPECT_NE(records("name.", "_", 0, 1).Text().find("ends with a dot"), std::string::npos);
    EXPECT_NE(records("a@b.txt", "_", 0, 1).Text().find("holds \"@\""), std::string::npos);
    EXPECT_NE(records("app2.exe", "..\\..\\Startup\\x", 1, 0).Text().find("program item title that cannot hold"),
              std::string::npos);
    EXPECT_TRUE(records("app2.exe", "Second App", 1, 0).Ok());

    guard::ProtectedFolders system;
    system.trees = {"C:\\windows\\"};
    std::string full;
    const Status device = install::CheckDestination("C:\\Apps\\CON", "C:\\windows\\TEMP", system, &full);
    EXPECT_NE(device.Text().find("\"C:\\Apps\\CON\\\" holds \"CON\""), std::string::npos) << device.Text();
    EXPECT_NE(device.Text().find("Please choose another destination folder."), std::string::npos);
    EXPECT_TRUE(full.empty());
    EXPECT_FALSE(install::CheckDestination("C:\\Apps\\a|b\\", "C:\\windows\\TEMP", system, &full).Ok());
    ASSERT_TRUE(install::CheckDestination("C:\\Apps\\My@Tools.\\", "C:\\windows\\TEMP", system, &full));
    EXPECT_EQ(full, "C:\\Apps\\My@Tools\\");  // as Windows resolves it, and stored as it is
}

TEST(NameDoors, EveryProgramItemFitsItsCommandWithTheChosenDestination)
{
    const std::string uninstall = "Uninstall, C:\\windows\\SYSTEM\\shell32.dll, 58";
    TListaDado list;
    list.Add("bin\\app.exe", "App", 1, 1, 1, 1, 1, 1);
    list.Add("readme.txt", "_", 1, 1, 0, 1, 1, 1);
    EXPECT_TRUE(install::CheckItemCommands(list, "C:\\Apps\\Demo\\", "setup.exe", uninstall));
    // "[AddItem(\"", the path, "\", ", the title, ")]": 15 characters and both.
    const auto folder = [](size_t length) { return "C:\\" + std::string(length - 4, 'd') + "\\"; };
    const size_t room = groupcommand::kMaxCommandLength - 15 - std::string("App").size() -
                        std::string("bin\\app.exe").size();
    TListaDado one;
    one.Add("bin\\app.exe", "App", 1, 1, 1, 1, 1, 1);
    EXPECT_TRUE(install::CheckItemCommands(one, folder(room), "s", "U"));
    const Status status = install::CheckItemCommands(one, folder(room + 1), "s", "U");
    EXPECT_EQ(status.What(), Fault::kRefused);
    EXPECT_NE(status.Text().find("file 1 (\"bin\\app.exe\")"), std::string::npos) << status.Text();
    EXPECT_NE(status.Text().find("Choose a shorter destination folder."), std::string::npos) << status.Text();
    // A record without an item needs no command; the uninstall item always does.
    TListaDado none;
    none.Add(std::string(200, 'n').c_str(), "_", 1, 1, 0, 1, 1, 1);
    EXPECT_TRUE(install::CheckItemCommands(none, "C:\\A\\", "setup.exe", uninstall));
    EXPECT_NE(install::CheckItemCommands(none, folder(240), "setup.exe", uninstall).Text().find("\"Uninstall\""),
              std::string::npos);
}

TEST(NameDoors, KelvopackSaysTheSameReasonForTheSameName)
{
    std::string error;
    EXPECT_FALSE(CheckGroupName("My@Apps", &error));
    EXPECT_EQ(error, "the group name \"My@Apps\" " + names::WhyNotGroupName("My@Apps"));
    EXPECT_FALSE(CheckGroupName("My Apps.", &error));
    EXPECT_NE(error.find("ends with a dot"), std::string::npos) << error;
    EXPECT_FALSE(CheckGroupName("nul", &error));
    EXPECT_FALSE(CheckItemTitle("CON", &error));
    EXPECT_EQ(error, "the item title \"CON\" " + names::WhyNotItemTitle("CON"));
    EXPECT_FALSE(CheckRelativePath("sub\\nul.txt", &error));
    EXPECT_EQ(error, "\"sub\\nul.txt\" " + names::WhyNotRecordPath("sub\\nul.txt"));
    EXPECT_FALSE(CheckWindowsFolder("C:\\CON\\", false, &error));
    EXPECT_EQ(error, "\"C:\\CON\\\" " + names::WhyNotDestination("C:\\CON\\"));
    // Names outside ASCII are told in UTF-8, as every other message.
    EXPECT_FALSE(CheckGroupName("Caf\xE9@", &error));
    EXPECT_NE(error.find("\"Caf\xC3\xA9@\""), std::string::npos) << error;
    EXPECT_TRUE(CheckGroupName("Caf\xE9 Tools", &error));
    EXPECT_TRUE(CheckRelativePath("Docs\\Caf\xE9.txt", &error));
}

}  // namespace
