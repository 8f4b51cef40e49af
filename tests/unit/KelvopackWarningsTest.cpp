// What kelvopack build warns about, the project's level, and where a build
// finds the setup program for it.
#include "PackScratch.h"
#include "PlaceholderBitmap.h"
#include "ProjectFile.h"
#include "ProjectWarnings.h"
#include "StubLocator.h"
#include "ToolError.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace {

using packtest::Scratch;
using packtest::SmallBmp;

std::vector<uint8_t> Bytes(const std::string& text)
{
    return std::vector<uint8_t>(text.begin(), text.end());
}

std::string Joined(const std::vector<std::string>& lines)
{
    std::string joined;
    for (const std::string& line : lines)
        joined += line + "\n";
    return joined;
}

using packtest::Has;

TEST(KelvopackWarnings, BitmapsThatFitAndBitmapsThatDoNot)
{
    using warnings::BitmapWarnings;
    // The room is 182 x 324: exactly that fits, one pixel more does not.
    EXPECT_EQ(Joined(BitmapWarnings(SmallBmp(182, 324))), "");
    EXPECT_EQ(Joined(BitmapWarnings(SmallBmp(16, 16, 4))), "");
    EXPECT_EQ(Joined(BitmapWarnings(PlaceholderBitmap::Make("Demo"))), "");

    const std::string wide = Joined(BitmapWarnings(SmallBmp(183, 100)));
    EXPECT_TRUE(Has(wide, "183 pixels wide")) << wide;
    EXPECT_TRUE(Has(wide, "182 left of its pages")) << wide;
    EXPECT_FALSE(Has(wide, "tall")) << wide;

    const std::vector<std::string> both = BitmapWarnings(SmallBmp(300, 325));
    ASSERT_EQ(both.size(), 2u) << Joined(both);
    EXPECT_TRUE(Has(both[1], "325 pixels tall")) << both[1];
    EXPECT_TRUE(Has(both[1], "324 above its button row")) << both[1];

    // 24 bits: no colour table, so the setup complains at every start.
    const std::vector<std::string> deep = BitmapWarnings(SmallBmp(100, 100, 24));
    ASSERT_EQ(deep.size(), 1u) << Joined(deep);
    EXPECT_TRUE(Has(deep[0], "24 bits per pixel and no colour table")) << deep[0];
    EXPECT_TRUE(Has(deep[0], "\"Dib has no color table, using default palette\"")) << deep[0];

    // A file the setup cannot read at all: build accepts anything that
    // starts with "BM", the setup does not.
    const std::vector<std::string> broken = BitmapWarnings(Bytes("BM but nothing more"));
    ASSERT_EQ(broken.size(), 1u);
    EXPECT_TRUE(Has(broken[0], "\"Cannot open bitmap file\"")) << broken[0];
    EXPECT_TRUE(Has(broken[0], "the setup cannot read it (information header neither 40 nor 12 bytes)")) << broken[0];
}

TEST(KelvopackWarnings, TextsOutsideTheSetupsCodePage)
{
    using warnings::TextWarnings;
    // ASCII and code page 1252 ("é" as one byte) are what the setup shows.
    EXPECT_EQ(Joined(TextWarnings(Bytes("Plain text.\r\nSecond line.\r\n"))), "");
    EXPECT_EQ(Joined(TextWarnings(Bytes("Caf\xE9 cr\xE8me \x80 5\r\n"))), "");
    EXPECT_EQ(Joined(TextWarnings({})), "");

    const std::string utf8 = Joined(TextWarnings(Bytes("Line one\nCaf\xC3\xA9 and cr\xC3\xA8me\n")));
    EXPECT_TRUE(Has(utf8, "UTF-8 text")) << utf8;
    EXPECT_TRUE(Has(utf8, "its 2 characters beyond ASCII")) << utf8;
    EXPECT_TRUE(Has(utf8, "\"\xC3\xA9\" (line 2) as \"\xC3\x83\xC2\xA9\"")) << utf8;  // é shown as Ã©
    EXPECT_FALSE(Has(utf8, "no form")) << utf8;

    const std::string cjk = Joined(TextWarnings(Bytes("\xC3\xA9\n\n\xE4\xB8\xAD\n")));
    EXPECT_TRUE(Has(cjk, "U+4E2D (line 3) has no form")) << cjk;

    const std::string bom = Joined(TextWarnings(Bytes("\xEF\xBB\xBFHello\r\n")));
    EXPECT_TRUE(Has(bom, "UTF-8 byte order mark")) << bom;
    EXPECT_TRUE(Has(bom, "\"\xC3\xAF\xC2\xBB\xC2\xBF\"")) << bom;  // shown as ï»¿
    EXPECT_FALSE(Has(bom, "UTF-8 text:")) << "plain ASCII after the mark";

    const std::vector<std::string> utf16 = TextWarnings({0xFF, 0xFE, 'H', 0, 'i', 0});
    ASSERT_EQ(utf16.size(), 1u);
    EXPECT_TRUE(Has(utf16[0], "UTF-16")) << utf16[0];
    const std::string nul = Joined(TextWarnings({'a', '\n', 'b', 0, 'c'}));
    EXPECT_TRUE(Has(nul, "NUL byte (line 2)")) << nul;

    // A byte 1252 leaves undefined, in text that is no UTF-8.
    const std::string undefined = Joined(TextWarnings(Bytes("ok\r\n\xE9t\xE9 \x81\r\n")));
    EXPECT_TRUE(Has(undefined, "0x81 (line 2)")) << undefined;
}

class KelvopackProjectWarnings : public ::testing::Test {
protected:
    std::string Project(const std::string& settings)
    {
        packtest::WriteBytes(dir.Path("wide.bmp"), SmallBmp(200, 50));
        packtest::WriteText(dir.Path("pres.txt"), "Gr\xC3\xBC\xC3\x9F Gott\r\n");
        packtest::WriteText(dir.Path("licen.txt"), "Terms.\r\n");
        packtest::WriteText(dir.Path("app.exe"), "MZ");
        const std::string path = dir.Path("p.toml");
        packtest::WriteText(path, "name = \"N\"\ndestination = 'C:\\N\\'\n" + settings +
                                      "bitmap = \"wide.bmp\"\npresentation = \"pres.txt\"\n"
                                      "agreement = \"licen.txt\"\n[[file]]\nsource = \"app.exe\"\n");
        return path;
    }

    Scratch dir;
};

TEST_F(KelvopackProjectWarnings, NameTheSettingAndTheFile)
{
    const std::string path = Project("");
    const std::vector<std::string> found = ProjectWarnings(LoadProject(path));
    ASSERT_EQ(found.size(), 2u) << Joined(found);
    EXPECT_EQ(found[0].rfind(path + ":3:10: the bitmap \"" + dir.Path("wide.bmp") + "\": it is 200 pixels wide", 0), 0u)
        << found[0];
    EXPECT_EQ(found[1].rfind(path + ":4:16: the presentation text \"" + dir.Path("pres.txt") + "\": it is UTF-8", 0),
              0u)
        << found[1];
}

TEST_F(KelvopackProjectWarnings, ANameOutsideCodePage1252IsShownWithoutWhatItLacks)
{
    // "Café 中文 Tool": the setup and its group show "Café Tool".
    std::string path = Project("");
    std::string text = packtest::ReadText(path);
    text.replace(0, text.find('\n'), "name = 'Caf\xC3\xA9 \xE4\xB8\xAD\xE6\x96\x87 Tool'");
    packtest::WriteText(path, text);
    ::Project project = LoadProject(path);
    EXPECT_EQ(project.nameAnsi, "Caf\xE9 Tool");
    EXPECT_EQ(project.group, "Caf\xE9 Tool");
    std::string found = Joined(ProjectWarnings(project));
    EXPECT_TRUE(
        Has(found, path + ":1:8: \"name\" \"Caf\xC3\xA9 \xE4\xB8\xAD\xE6\x96\x87 Tool\" holds the character "
                          "U+4E2D, which code page 1252 cannot hold; the setup shows it as \"Caf\xC3\xA9 Tool\", and "
                          "names the program group so\n"))
        << found;

    // Nothing left of it: the group's name stands in, when there is one.
    text.replace(0, text.find('\n'), "name = '\xE4\xB8\xAD\xE6\x96\x87'\ngroup = 'G'");
    packtest::WriteText(path, text);
    project = LoadProject(path);
    EXPECT_EQ(project.nameAnsi, "");
    found = Joined(ProjectWarnings(project));
    EXPECT_TRUE(Has(found, "the setup shows the program group's name \"G\" instead")) << found;
    text.replace(0, text.find("\ndestination"), "name = '\xE4\xB8\xAD\xE6\x96\x87'");
    packtest::WriteText(path, text);
    try {
        LoadProject(path);
        ADD_FAILURE() << "a group without a name was accepted";
    } catch (const ToolError& e) {
        EXPECT_TRUE(Has(e.what(), ":1:8: \"name\" \"\xE4\xB8\xAD\xE6\x96\x87\" holds no character of code page 1252"))
            << e.what();
    }
}

TEST_F(KelvopackProjectWarnings, LevelIsUserUnlessTheProjectSaysAdmin)
{
    EXPECT_EQ(LoadProject(Project("")).level, ExecutionLevel::User);
    EXPECT_EQ(LoadProject(Project("level = \"user\"\n")).level, ExecutionLevel::User);
    const ::Project admin = LoadProject(Project("level = \"admin\"\n"));
    EXPECT_EQ(admin.level, ExecutionLevel::Admin);
    EXPECT_EQ(admin.levelOrigin.Where(), dir.Path("p.toml") + ":3:9");

    for (const auto& [setting, message] :
         {std::pair<std::string, std::string>{"level = \"Admin\"\n",
                                              ":3:9: unknown level \"Admin\" (the levels are "
                                              "\"user\" and \"admin\")"},
          {"level = 1\n", ":3:9: \"level\" must be a string"}}) {
        try {
            LoadProject(Project(setting));
            ADD_FAILURE() << setting << " was accepted";
        } catch (const ToolError& e) {
            EXPECT_EQ(std::string(e.what()), dir.Path("p.toml") + message);
        }
    }
}

TEST(KelvopackStubLocator, BesideTheProgramThenShareThenItsOwnBuildTree)
{
    Scratch dir;
    const std::string bin = dir.Path("prefix/bin");
    const std::string share = dir.Path("prefix/share/kelvo");
    const std::string tree = dir.Path("win32/app");
    packtest::WriteText(bin + "/kelvopack", "");
    packtest::WriteText(tree + "/kelvo.exe", "tree");
    packtest::WriteText(tree + "/kelvo-admin.exe", "tree admin");

    // Run from elsewhere than its build folder: the build tree is not looked at.
    const StubLocator installed(bin, dir.Path("build"), tree);
    EXPECT_EQ(installed.Places(ExecutionLevel::User),
              (std::vector<std::string>{bin + "/kelvo.exe", share + "/kelvo.exe"}));
    std::string stub;
    std::string error;
    EXPECT_FALSE(installed.Find(ExecutionLevel::Admin, &stub, &error));
    EXPECT_EQ(error, "no setup program for the level \"admin\" (kelvo-admin.exe); looked for it at:\n  " + bin +
                         "/kelvo-admin.exe\n  " + share +
                         "/kelvo-admin.exe\ninstall kelvopack's package, build the setup program (cmake --preset "
                         "mingw-i686 && cmake --build --preset mingw-i686), or give --stub");

    // Run from its build folder (another name for the same folder will do).
    std::filesystem::create_directory_symlink(bin, dir.Path("link-to-bin"));
    const StubLocator building(bin, dir.Path("link-to-bin"), tree);
    ASSERT_EQ(building.Places(ExecutionLevel::Admin).size(), 3u);
    EXPECT_TRUE(building.Find(ExecutionLevel::Admin, &stub, &error));
    EXPECT_EQ(stub, tree + "/kelvo-admin.exe");

    // The installed place wins over the build tree, and beside wins over both.
    packtest::WriteText(share + "/kelvo.exe", "share");
    EXPECT_TRUE(building.Find(ExecutionLevel::User, &stub, &error));
    EXPECT_EQ(stub, share + "/kelvo.exe");
    packtest::WriteText(bin + "/kelvo.exe", "beside");
    EXPECT_TRUE(building.Find(ExecutionLevel::User, &stub, &error));
    EXPECT_EQ(stub, bin + "/kelvo.exe");
    EXPECT_EQ(StubLocator::StubName(ExecutionLevel::User), std::string("kelvo.exe"));

    // The 64-bit builds by name: installed as kelvo64*.exe, built as kelvo*.exe.
    const std::string tree64 = dir.Path("win64/app");
    packtest::WriteText(tree64 + "/kelvo-admin.exe", "64-bit admin");
    const StubLocator both(bin, dir.Path("link-to-bin"), tree, tree64);
    EXPECT_EQ(both.Places("kelvo64-admin.exe"),
              (std::vector<std::string>{bin + "/kelvo64-admin.exe", share + "/kelvo64-admin.exe",
                                        tree64 + "/kelvo-admin.exe"}));
    EXPECT_TRUE(both.Find("kelvo64-admin.exe", &stub, &error));
    EXPECT_EQ(stub, tree64 + "/kelvo-admin.exe");
    EXPECT_FALSE(both.Find("kelvo64.exe", &stub, &error));
    EXPECT_EQ(error, "no setup program kelvo64.exe; looked for it at:\n  " + bin + "/kelvo64.exe\n  " + share +
                         "/kelvo64.exe\n  " + tree64 + "/kelvo.exe");
    EXPECT_EQ(StubLocator::StubName(ExecutionLevel::Admin, true), std::string("kelvo64-admin.exe"));
    EXPECT_FALSE(StubLocator::IsStubName("kelvo32.exe"));
}

}  // namespace
