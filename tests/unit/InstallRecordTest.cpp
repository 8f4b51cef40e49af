// The record of what an installation wrote, the one rule of what the
// uninstaller may delete, and removing by it: the user's files in the
// destination stay, the installation's go, links are not followed.
#include "InstallRecord.h"
#include "InstallRecorder.h"
#include "InstallRules.h"
#include "RecordedRemoval.h"
#include "SetupLayout.h"
#include "StartupRules.h"

#include "TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

using layout::Removal;
using layout::Written;
using layout::WrittenEntry;

namespace fs = std::filesystem;

std::vector<std::string> Keys(const std::vector<WrittenEntry>& entries)
{
    std::vector<std::string> keys;
    for (const WrittenEntry& entry : entries)
        keys.push_back(static_cast<char>(entry.kind) + (":" + entry.name));
    return keys;
}

void Touch(const std::string& path, const std::string& text = "x")
{
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(InstallRecord, LinesComeBackAsTheyWereWritten)
{
    const std::vector<WrittenEntry> entries = {
        {Written::kDestination, ""},   {Written::kSetupCopy, "setup.exe"},
        {Written::kFolder, "bin"},     {Written::kFile, "bin\\tool with blanks.exe"},
        {Written::kGroup, "My Group"}, {Written::kFile, "@odd name\xE9.txt"},
    };
    std::string text = layout::RecordHeader();
    for (const WrittenEntry& entry : entries)
        text += layout::RecordLine(entry);
    EXPECT_EQ(text.substr(0, text.find('\n') + 1), std::string(layout::kRecordHeader) + "\r\n");
    EXPECT_NE(text.find("\r\nR\r\nS setup.exe\r\n"), std::string::npos);

    std::vector<WrittenEntry> back;
    size_t skipped = 99;
    ASSERT_TRUE(layout::ParseRecord(text, &back, &skipped));
    EXPECT_EQ(skipped, 0u);
    EXPECT_EQ(Keys(back), Keys(entries));

    // LF only, and a last line without a line break, read the same.
    std::string lf = text;
    lf.erase(std::remove(lf.begin(), lf.end(), '\r'), lf.end());
    lf.pop_back();
    ASSERT_TRUE(layout::ParseRecord(lf, &back));
    EXPECT_EQ(Keys(back), Keys(entries));
}

TEST(InstallRecord, DamagedRecordsAndLines)
{
    std::vector<WrittenEntry> back;
    EXPECT_FALSE(layout::ParseRecord("", &back));
    EXPECT_FALSE(layout::ParseRecord("F a.txt\r\n", &back));
    EXPECT_FALSE(layout::ParseRecord("Kelvo installed 2\r\nF a.txt\r\n", &back));
    const struct {
        const char* line;
        bool kept;
    } cases[] = {
        {"F a.txt", true}, {"F", false},    {"F ", false}, {"Fa.txt", false}, {"X a.txt", false},    {"R", true},
        {"R x", false},    {"D sub", true}, {"G", false},  {"F a\tb", false}, {"S setup.exe", true}, {"", false},
    };
    for (const auto& c : cases) {
        size_t skipped = 0;
        const std::string text = std::string(layout::kRecordHeader) + "\r\n" + c.line + "\r\nF last\r\n";
        ASSERT_TRUE(layout::ParseRecord(text, &back, &skipped)) << c.line;
        EXPECT_EQ(back.size(), c.kept ? 2u : 1u) << c.line;
        EXPECT_EQ(back.back().name, "last") << c.line;
        EXPECT_EQ(skipped, c.kept || *c.line == '\0' ? 0u : 1u) << c.line;
    }
}

TEST(InstallRecord, WhatMayBeDeleted)
{
    const struct {
        WrittenEntry entry;
        Removal removal;
    } cases[] = {
        {{Written::kFile, "putty.exe"}, Removal::kDelete},
        {{Written::kFile, "sub\\deep\\a.dll"}, Removal::kDelete},
        {{Written::kSetupCopy, "setup.exe"}, Removal::kDelete},
        {{Written::kFolder, "sub\\deep"}, Removal::kIfEmpty},
        {{Written::kDestination, ""}, Removal::kIfEmpty},
        {{Written::kGroup, "Tools"}, Removal::kDeleteGroup},
        // Hostile names never reach outside the destination.
        {{Written::kFile, "..\\Windows\\win.ini"}, Removal::kKeep},
        {{Written::kFile, "sub\\..\\..\\x"}, Removal::kKeep},
        {{Written::kFile, "C:\\Windows\\win.ini"}, Removal::kKeep},
        {{Written::kFile, "C:win.ini"}, Removal::kKeep},
        {{Written::kFile, "\\Windows\\win.ini"}, Removal::kKeep},
        {{Written::kFile, "/etc/passwd"}, Removal::kKeep},
        {{Written::kFile, "\\\\server\\share\\x"}, Removal::kKeep},
        {{Written::kFolder, "."}, Removal::kKeep},
        {{Written::kFolder, ".."}, Removal::kKeep},
        {{Written::kFolder, ""}, Removal::kKeep},
        {{Written::kFile, "a\\\\b"}, Removal::kKeep},
        {{Written::kFile, std::string(600, 'a')}, Removal::kKeep},
        {{Written::kGroup, ""}, Removal::kKeep},
    };
    for (const auto& c : cases)
        EXPECT_EQ(layout::MayDelete(c.entry), c.removal) << c.entry.name;
}

TEST(InstallRecord, PlanTakesEachNameOnceDeepestFoldersFirst)
{
    const std::vector<WrittenEntry> entries = {
        {Written::kFolder, "a"},         {Written::kFolder, "a\\b"},    {Written::kFile, "a\\b\\x.txt"},
        {Written::kFile, "A\\B\\X.TXT"}, {Written::kFile, "a/b/x.txt"}, {Written::kSetupCopy, "setup.exe"},
        {Written::kFile, "SETUP.EXE"},   {Written::kFolder, "c"},       {Written::kFolder, "a\\b\\c"},
        {Written::kFile, "..\\evil"},    {Written::kGroup, "G1"},       {Written::kGroup, "g1"},
        {Written::kDestination, ""},
    };
    const layout::RemovalPlan plan = layout::PlanRemoval(entries);
    EXPECT_EQ(plan.files, (std::vector<std::string>{"a\\b\\x.txt", "setup.exe"}));
    EXPECT_EQ(plan.folders, (std::vector<std::string>{"a\\b\\c", "a\\b", "a", "c"}));
    EXPECT_EQ(plan.groups, std::vector<std::string>{"G1"});
    EXPECT_TRUE(plan.destination);
    ASSERT_EQ(plan.kept.size(), 1u);
    EXPECT_EQ(plan.kept[0].name, "..\\evil");
    EXPECT_FALSE(layout::PlanRemoval({{Written::kFile, "x"}}).destination);

    // The setup's own files are what every installation left, and may go.
    for (const WrittenEntry& own : layout::OwnEntries()) {
        EXPECT_EQ(layout::MayDelete(own), Removal::kDelete) << own.name;
        EXPECT_TRUE(layout::IsReservedName(own.name)) << own.name;
    }
    EXPECT_TRUE(layout::IsReservedName("INSTALLED.S_"));
}

TEST(InstallRecord, FoldersMadeAboveTheDestinationGoOnlyWhenTheyLieAboveIt)
{
    // What an installation into C:\A\B\C\ makes where only C:\ is there,
    // from the outermost; never a root.
    EXPECT_EQ(layout::FoldersAbove("C:\\A\\B\\C\\"), (std::vector<std::string>{"C:\\A\\", "C:\\A\\B\\"}));
    EXPECT_EQ(layout::FoldersAbove("\\\\server\\share\\Apps\\Demo\\"),
              std::vector<std::string>{"\\\\server\\share\\Apps\\"});
    for (const char* none : {"C:\\", "C:\\A\\", "\\\\server\\share\\", "\\\\server\\share\\A\\", "A\\B\\", "C:A\\B\\",
                             "C:\\A\\..\\B\\C\\", "\\\\\\share\\A\\B\\", ""})
        EXPECT_TRUE(layout::FoldersAbove(none).empty()) << none;

    const std::string destination = "C:\\A\\B\\C\\";
    const struct {
        const char* folder;
        Removal removal;
    } cases[] = {
        {"C:\\A\\", Removal::kIfEmpty},
        {"c:\\a\\b\\", Removal::kIfEmpty},
        // The root, the destination itself, what lies below or beside it,
        // and names in disguise stay.
        {"C:\\", Removal::kKeep},
        {"C:\\A\\B\\C\\", Removal::kKeep},
        {"C:\\A\\B\\C\\D\\", Removal::kKeep},
        {"C:\\A\\X\\", Removal::kKeep},
        {"D:\\A\\", Removal::kKeep},
        {"C:\\A", Removal::kKeep},
        {"C:\\A\\B\\..\\", Removal::kKeep},
        {"C:\\Windows\\", Removal::kKeep},
        {"A\\", Removal::kKeep},
        {"..\\", Removal::kKeep},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(layout::MayDelete({Written::kParent, c.folder}, destination), c.removal) << c.folder;
        // Without the destination to compare with, nothing above it goes.
        EXPECT_EQ(layout::MayDelete({Written::kParent, c.folder}), Removal::kKeep) << c.folder;
    }

    // The record keeps them, the outermost first; an older reader, which
    // knows no such line, skips it and reads the rest.
    const std::vector<WrittenEntry> entries = {{Written::kParent, "C:\\A\\"},
                                               {Written::kParent, "C:\\A\\B\\"},
                                               {Written::kDestination, ""},
                                               {Written::kFile, "app.exe"}};
    std::string text = layout::RecordHeader();
    for (const WrittenEntry& entry : entries)
        text += layout::RecordLine(entry);
    EXPECT_NE(text.find("\r\nP C:\\A\\\r\nP C:\\A\\B\\\r\nR\r\n"), std::string::npos);
    std::vector<WrittenEntry> back;
    ASSERT_TRUE(layout::ParseRecord(text, &back));
    EXPECT_EQ(Keys(back), Keys(entries));
    std::string older = text;
    for (size_t at = older.find("\nP "); at != std::string::npos; at = older.find("\nP ", at))
        older[at + 1] = 'Q';  // a kind this reader does not know, as P is to older ones
    size_t skipped = 0;
    ASSERT_TRUE(layout::ParseRecord(older, &back, &skipped));
    EXPECT_EQ(skipped, 2u);
    EXPECT_EQ(Keys(back), (std::vector<std::string>{"R:", "F:app.exe"}));

    // Planned the innermost first, each once, after the destination.
    const layout::RemovalPlan plan = layout::PlanRemoval({{Written::kParent, "C:\\A\\"},
                                                          {Written::kParent, "C:\\A\\B\\"},
                                                          {Written::kParent, "c:\\a\\b\\"},
                                                          {Written::kParent, "C:\\Elsewhere\\"},
                                                          {Written::kDestination, ""}},
                                                         destination);
    EXPECT_EQ(plan.parents, (std::vector<std::string>{"C:\\A\\B\\", "C:\\A\\"}));
    EXPECT_TRUE(plan.destination);
    ASSERT_EQ(plan.kept.size(), 1u);
    EXPECT_EQ(plan.kept[0].name, "C:\\Elsewhere\\");
    // An upgrade's removal of what it superseded is given no destination:
    // the folders above stay for the uninstallation.
    EXPECT_TRUE(layout::PlanRemoval({{Written::kParent, "C:\\A\\"}}).parents.empty());
}

TEST(InstallRecord, AnInstallationWithoutRecordIsReadFromItsScript)
{
    const std::vector<WrittenEntry> entries = layout::EntriesOfScript({"app.exe", "doc\\en\\read me.txt"}, "setup.exe");
    EXPECT_EQ(Keys(entries), (std::vector<std::string>{"R:", "S:setup.exe", "F:app.exe", "F:doc\\en\\read me.txt",
                                                       "D:doc", "D:doc\\en"}));
    EXPECT_EQ(Keys(layout::EntriesOfScript({}, "")), std::vector<std::string>{"R:"});
}

TEST(InstallRecord, AnUpgradeRemovesWhatItNoLongerShips)
{
    const std::vector<WrittenEntry> earlier = {
        {Written::kDestination, ""},       {Written::kSetupCopy, "app-1.0.exe"}, {Written::kFolder, "old"},
        {Written::kFile, "old\\gone.dll"}, {Written::kFile, "app.exe"},          {Written::kFile, "Kept.txt"},
        {Written::kGroup, "App 1.0"},      {Written::kGroup, "Shared"},          {Written::kFile, "app.exe"},
    };
    const std::vector<WrittenEntry> written = {
        {Written::kSetupCopy, "app-2.0.exe"},
        {Written::kFile, "APP.EXE"},
        {Written::kFile, "kept.txt"},
        {Written::kGroup, "shared"},
    };
    EXPECT_EQ(Keys(layout::Superseded(earlier, written)),
              (std::vector<std::string>{"S:app-1.0.exe", "F:old\\gone.dll", "G:App 1.0"}));
    // The same setup again removes nothing; a file that became the setup copy stays.
    EXPECT_TRUE(layout::Superseded(written, written).empty());
    EXPECT_TRUE(layout::Superseded({{Written::kFile, "x.exe"}}, {{Written::kSetupCopy, "X.exe"}}).empty());
}

TEST(InstallRecorder, WritesAsItGoesAndEachEntryOnce)
{
    TempDir dir;
    const std::string path = dir / layout::kInstallRecord;
    InstallRecorder recorder;
    ASSERT_TRUE(recorder.Begin(path, {{Written::kFile, "old.txt"}, {Written::kFile, "OLD.TXT"}}));
    ASSERT_TRUE(recorder.Add({Written::kSetupCopy, "setup.exe"}));
    // Each line is on disk before the next thing is made.
    std::vector<WrittenEntry> back;
    ASSERT_TRUE(layout::ParseRecord(ReadFile(path), &back));
    EXPECT_EQ(Keys(back), (std::vector<std::string>{"F:old.txt", "S:setup.exe"}));
    ASSERT_TRUE(recorder.Add({Written::kFile, "Old.txt"}));
    ASSERT_TRUE(recorder.Add({Written::kFile, "new.txt"}));
    ASSERT_TRUE(layout::ParseRecord(ReadFile(path), &back));
    EXPECT_EQ(Keys(back), (std::vector<std::string>{"F:old.txt", "S:setup.exe", "F:new.txt"}));
    EXPECT_EQ(Keys(recorder.Added()), (std::vector<std::string>{"S:setup.exe", "F:Old.txt", "F:new.txt"}));

    InstallRecorder nowhere;
    EXPECT_FALSE(nowhere.Begin(dir / "missing/record", {}));
    EXPECT_FALSE(nowhere.Add({Written::kFile, "a"}));
}

TEST(RecordedRemoval, TheUsersFilesStayAndTheInstallationsGo)
{
    TempDir dir;
    const std::string tools = dir.Windows("Tools") + "\\";
    Touch(dir / "Tools/putty.exe", "user");
    Touch(dir / "Tools/othertool/notes.txt", "user");
    // What the installation wrote, some of it into the user's own folder.
    for (const char* ours : {"setup.exe", "app.exe", "othertool/plugin.dll", "new/deep/data.bin", "modo.se",
                             "uninstall.s_", "installed.s_"})
        Touch(dir / ("Tools/" + std::string(ours)));
    Touch(dir / "outside.txt", "user");
    std::vector<WrittenEntry> entries = layout::OwnEntries();
    const std::vector<WrittenEntry> recorded = {
        {Written::kSetupCopy, "setup.exe"},  {Written::kFile, "app.exe"},     {Written::kFile, "othertool\\plugin.dll"},
        {Written::kFolder, "new"},           {Written::kFolder, "new\\deep"}, {Written::kFile, "new\\deep\\data.bin"},
        {Written::kFile, "..\\outside.txt"}, {Written::kFile, "missing.txt"}, {Written::kDestination, ""},
    };
    entries.insert(entries.end(), recorded.begin(), recorded.end());
    const install::RemovalOutcome outcome = install::RemoveRecorded(tools, layout::PlanRemoval(entries));
    EXPECT_TRUE(outcome.failed.empty());
    EXPECT_FALSE(outcome.destinationRemoved);
    EXPECT_EQ(ReadFile(dir / "Tools/putty.exe"), "user");
    EXPECT_EQ(ReadFile(dir / "Tools/othertool/notes.txt"), "user");
    EXPECT_EQ(ReadFile(dir / "outside.txt"), "user");
    for (const char* gone :
         {"setup.exe", "app.exe", "othertool/plugin.dll", "new", "modo.se", "uninstall.s_", "installed.s_"})
        EXPECT_FALSE(fs::exists(dir / ("Tools/" + std::string(gone)))) << gone;

    size_t more = 7;
    std::vector<std::string> left = install::WhatIsLeft(tools, 8, &more);
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{"othertool\\notes.txt", "putty.exe"}));
    EXPECT_EQ(more, 0u);
    EXPECT_EQ(install::ListForMessage({"othertool\\notes.txt", "putty.exe"}, 0),
              "\"othertool\\notes.txt\" and \"putty.exe\"");
    EXPECT_EQ(install::ListForMessage({"a"}, 3), "\"a\" and 3 more");
    EXPECT_EQ(install::ListForMessage({"a", "b", "c"}, 0), "\"a\", \"b\" and \"c\"");

    // Once the user's files are gone too, a destination it made goes with the rest.
    fs::remove(dir / "Tools/putty.exe");
    fs::remove_all(dir / "Tools/othertool");
    EXPECT_TRUE(install::RemoveRecorded(tools, layout::PlanRemoval(entries)).destinationRemoved);
    EXPECT_FALSE(fs::exists(dir / "Tools"));
}

TEST(RecordedRemoval, FoldersAboveGoInnermostFirstOnlyOnceTheDestinationIsGoneAndWhenEmpty)
{
    TempDir dir;
    const std::string dest = dir.Windows("A\\B\\C") + "\\";
    layout::RemovalPlan plan;
    plan.files = {"app.exe"};
    plan.destination = true;
    plan.parents = {dir.Windows("A\\B") + "\\", dir.Windows("A") + "\\"};

    // The user's file in the destination keeps it, and so everything above.
    Touch(dir / "A/B/C/app.exe");
    Touch(dir / "A/B/C/mine.txt", "user");
    install::RemovalOutcome outcome = install::RemoveRecorded(dest, plan);
    EXPECT_FALSE(outcome.destinationRemoved);
    EXPECT_TRUE(outcome.parentsLeft.empty());
    EXPECT_TRUE(fs::exists(dir / "A/B/C/mine.txt"));
    EXPECT_FALSE(fs::exists(dir / "A/B/C/app.exe"));

    // The user's file beside it keeps the folders that hold it, and says
    // which stays first.
    fs::remove(dir / "A/B/C/mine.txt");
    Touch(dir / "A/beside.txt", "user");
    outcome = install::RemoveRecorded(dest, plan);
    EXPECT_TRUE(outcome.destinationRemoved);
    EXPECT_EQ(outcome.parentsLeft, std::vector<std::string>{dir.Windows("A") + "\\"});
    EXPECT_FALSE(fs::exists(dir / "A/B"));
    EXPECT_EQ(ReadFile(dir / "A/beside.txt"), "user");

    // Empty, all of it goes; a folder already gone is no failure.
    fs::remove(dir / "A/beside.txt");
    EXPECT_TRUE(install::RemoveParents(plan.parents).empty());
    EXPECT_FALSE(fs::exists(dir / "A"));
    EXPECT_TRUE(install::RemoveParents(plan.parents).empty());

    // A link put where a folder above was is left, and so is what it leads to.
    fs::create_directories(dir / "target");
    fs::create_directory_symlink(dir / "target", dir / "A");
    EXPECT_EQ(install::RemoveParents({dir.Windows("A") + "\\"}), std::vector<std::string>{dir.Windows("A") + "\\"});
    EXPECT_TRUE(fs::is_symlink(dir / "A"));
}

TEST(RecordedRemoval, LinksAreNotFollowedAndLeftoversAreCounted)
{
    TempDir dir;
    const std::string dest = dir.Windows("App") + "\\";
    Touch(dir / "elsewhere/data.txt", "user");
    fs::create_directories(dir / "App");
    fs::create_directory_symlink(dir / "elsewhere", dir / "App/data");
    const std::vector<WrittenEntry> entries = {{Written::kFile, "data\\data.txt"},
                                               {Written::kFolder, "data"},
                                               {Written::kDestination, ""}};
    const install::RemovalOutcome outcome = install::RemoveRecorded(dest, layout::PlanRemoval(entries));
    EXPECT_EQ(ReadFile(dir / "elsewhere/data.txt"), "user");
    EXPECT_TRUE(outcome.failed.empty());

    TempDir many;
    for (int i = 0; i < 12; ++i)
        Touch(many / ("f" + std::to_string(i)));
    fs::create_directories(many / "empty");
    size_t more = 0;
    const std::vector<std::string> left = install::WhatIsLeft(many.Windows() + "\\", 8, &more);
    EXPECT_EQ(left.size(), 8u);
    EXPECT_EQ(more, 5u);
    const std::vector<std::string> all = install::WhatIsLeft(many.Windows() + "\\", 100, &more);
    EXPECT_NE(std::find(all.begin(), all.end(), "empty\\"), all.end());
}

TEST(InstallRules, AFolderHoldingFilesIsToldApart)
{
    TempDir dir;
    EXPECT_FALSE(install::HoldsOtherFiles(dir.Windows("missing") + "\\"));
    fs::create_directories(dir / "empty");
    EXPECT_FALSE(install::HoldsOtherFiles(dir.Windows("empty") + "\\"));
    Touch(dir / "Tools/putty.exe");
    EXPECT_TRUE(install::HoldsOtherFiles(dir.Windows("Tools") + "\\"));
    fs::create_directories(dir / "onlyfolder/sub");
    EXPECT_TRUE(install::HoldsOtherFiles(dir.Windows("onlyfolder") + "\\"));
    // An earlier installation there is taken over, not warned about.
    Touch(dir / "Tools/uninstall.s_");
    EXPECT_FALSE(install::HoldsOtherFiles(dir.Windows("Tools") + "\\"));
    const std::string question = install::OtherFilesWarning("C:\\Tools\\", true);
    EXPECT_NE(question.find("\"C:\\Tools\\\" already holds files"), std::string::npos);
    EXPECT_NE(question.find('?'), std::string::npos);
    EXPECT_EQ(install::OtherFilesWarning("C:\\Tools\\", false).find('?'), std::string::npos);
}

TEST(Captions, TheApplicationsNameTakesTheSetupsPlace)
{
    char caption[startup::kCaptionSize];
    startup::InstallCaption(caption, "Demo Tools");
    EXPECT_STREQ(caption, "Demo Tools - \"Let The Kelvo Do The Work For You!\"");
    startup::UninstallCaption(caption, "Demo Group", "Demo Tools");
    EXPECT_STREQ(caption, "Demo Tools - Uninstalling application: Demo Group");
    startup::UninstallCaption(caption, std::string(200, 'g').c_str(), std::string(200, 'n'));
    EXPECT_EQ(std::string(caption).size(), startup::kCaptionSize - 1);
    EXPECT_EQ(std::string(caption).substr(startup::kCaptionSize - 4), "...");
    EXPECT_EQ(startup::ShownName(std::string(200, 'n')).size(), startup::kShownNameMax);
    EXPECT_EQ(startup::ShownName(""), "Kelvo \xAE");
    EXPECT_EQ(startup::CancelQuestion(""),
              "\"Kelvo\" has been canceled.\nPress \"Yes\" for closing or\n\"No\" for returning.");
    EXPECT_EQ(startup::CancelQuestion("Demo").substr(0, 26), "\"Demo\" has been canceled.\n");
}

}  // namespace
