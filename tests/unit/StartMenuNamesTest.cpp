#include "StartMenuNames.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const std::string kPrograms = "C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs";

TEST(StartMenuNames, ItemsTakeTheirIconFromTheArgumentsAfterTheName)
{
    const startmenu::Item uninstall = startmenu::ParseItem("C:\\Apps\\Demo\\setup.exe",
                                                           "Uninstall, C:\\Windows\\SYSTEM\\shell32.dll, 58");
    EXPECT_EQ(uninstall.name, "Uninstall");
    EXPECT_EQ(uninstall.icon, "C:\\Windows\\SYSTEM\\shell32.dll");
    EXPECT_EQ(uninstall.iconIndex, 58);
    const startmenu::Item plain = startmenu::ParseItem("C:\\Apps\\Demo\\demo.exe", "Demo App");
    EXPECT_EQ(plain.name, "Demo App");
    EXPECT_EQ(plain.icon, "");
    EXPECT_EQ(plain.iconIndex, 0);
    EXPECT_EQ(startmenu::ParseItem("C:\\Apps\\Demo\\read.me.txt", " ").name, "read.me");
    EXPECT_EQ(startmenu::ParseItem("C:\\Apps\\Demo\\demo.exe", "X, icons.dll, many").iconIndex, 0);
}

TEST(StartMenuNames, GroupsStayBelowTheProgramsFolderAndItemsInTheirGroup)
{
    EXPECT_EQ(startmenu::GroupFolder(kPrograms, "Demo App"), kPrograms + "\\Demo App\\");
    EXPECT_EQ(startmenu::GroupFolder(kPrograms + "\\", "Maker\\Demo"), kPrograms + "\\Maker\\Demo\\");
    for (const char* outside : {"", ".", "..\\Startup", "a\\..\\..\\Startup", "C:\\Windows", "C:evil", "\\evil",
                                "\\\\server\\share\\x", "..."})
        EXPECT_EQ(startmenu::GroupFolder(kPrograms, outside), "") << outside;
    EXPECT_EQ(startmenu::GroupFolder("", "Demo"), "");

    const std::string group = kPrograms + "\\Demo\\";
    EXPECT_EQ(startmenu::ShortcutFile(group, "Demo App"), group + "Demo App.lnk");
    EXPECT_EQ(startmenu::ShortcutFile(group, "..\\..\\Startup\\x"), group + ".._.._Startup_x.lnk");
    EXPECT_EQ(startmenu::ShortcutFile(group, "a/b:c*d?e\"f<g>h|i\t"), group + "a_b_c_d_e_f_g_h_i_.lnk");
}

TEST(StartMenuNames, RemovalTakesOnlyTheShortcutsThatLeadIntoTheDestination)
{
    const std::string destination = "C:\\Apps\\Demo\\";
    for (const char* ours : {"C:\\Apps\\Demo\\demo.exe", "c:\\apps\\demo\\Docs\\read me.txt", "C:/Apps/Demo/x"})
        EXPECT_TRUE(startmenu::IsOurs(ours, destination)) << ours;
    for (const char* theirs : {"C:\\Apps\\Demo2\\demo.exe", "C:\\Apps\\Demo", "C:\\Apps\\Demo\\..\\Other\\x.exe",
                               "demo.exe", "Docs\\read me.txt", "C:\\Windows\\notepad.exe", ""})
        EXPECT_FALSE(startmenu::IsOurs(theirs, destination)) << theirs;
    EXPECT_FALSE(startmenu::IsOurs("C:\\Apps\\Demo\\demo.exe", ""));
}

TEST(StartMenuNames, OnlyAFolderWindowThatShowsTheGroupIsTakenForTheOneItsCreationOpened)
{
    EXPECT_TRUE(startmenu::IsFolderWindowClass("CabinetWClass"));
    EXPECT_TRUE(startmenu::IsFolderWindowClass("ExplorerWClass"));
    for (const char* other : {"", "Progman", "WorkerW", "#32770", "cabinetwclass", "CabinetWClass2"})
        EXPECT_FALSE(startmenu::IsFolderWindowClass(other)) << other;

    // The folder's name, or its full path when the shell shows paths.
    EXPECT_TRUE(startmenu::ShowsGroup("Demo App", "Demo App"));
    EXPECT_TRUE(startmenu::ShowsGroup("demo app", "Demo App"));
    EXPECT_TRUE(startmenu::ShowsGroup(kPrograms + "\\Demo App", "Demo App"));
    EXPECT_TRUE(startmenu::ShowsGroup("Demo", "Maker\\Demo"));
    EXPECT_TRUE(startmenu::ShowsGroup(kPrograms + "\\Maker\\Demo", "Maker\\Demo\\"));
    // Another folder, one whose name merely ends like it, or no name.
    for (const char* other : {"Programs", "My Demo App", "Demo App 2", "Demo", "App", "", "X\\Demo App\\"})
        EXPECT_FALSE(startmenu::ShowsGroup(other, "Demo App")) << other;
    EXPECT_FALSE(startmenu::ShowsGroup("Maker", "Maker\\Demo"));
    EXPECT_FALSE(startmenu::ShowsGroup("Programs", ""));
    EXPECT_FALSE(startmenu::ShowsGroup("", "\\"));
}

}  // namespace
