// The pieces of kelvopack init: the names it makes from a folder's name, the
// project text it writes, and the stand-in bitmap.
#include "BmpImage.h"
#include "Glob.h"
#include "PackScratch.h"
#include "PlaceholderBitmap.h"
#include "ProjectCheck.h"
#include "ProjectFile.h"
#include "ProjectTemplate.h"
#include "StandIns.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using packtest::Scratch;

const char* const kStandIns[3] = {"kelvo.bmp", "pres.txt", "licen.txt"};

TEST(KelvopackInit, UsableNamesServeAsGroupTitleAndFolder)
{
    const auto usable = [](const std::string& wanted) { return ProjectTemplate::UsableName(wanted, 40, "Fallback"); };
    EXPECT_EQ(usable("Kelvo Demo"), "Kelvo Demo");
    EXPECT_EQ(usable("Caf\xC3\xA9 2.0"), "Caf\xC3\xA9 2.0");                 // 1252 has é
    EXPECT_EQ(usable("a,b(c)[d]\"e@f\\g/h:i*j?k<l>m|n"), "abcdefghijklmn");  // what groups and items refuse
    EXPECT_EQ(usable("  many   blanks  "), "many blanks");
    EXPECT_EQ(usable(std::string("a\0b\tc\x7F"
                                 "d",
                                 7)),
              "abcd");  // control characters, NUL among them
    EXPECT_EQ(usable("ends with dots..."), "ends with dots");
    EXPECT_EQ(usable("\xE4\xB8\xAD\xE6\x96\x87 app"), "app");  // characters 1252 lacks are dropped
    EXPECT_EQ(usable("\xE4\xB8\xAD\xE6\x96\x87"), "Fallback");
    EXPECT_EQ(usable("CON"), "Fallback");  // a device name makes no folder
    EXPECT_EQ(usable(""), "Fallback");
    // Long names are cut at a blank when that keeps most of them.
    EXPECT_EQ(usable("The Quite Remarkably Long Name Of This Application"), "The Quite Remarkably Long Name Of This");
    EXPECT_EQ(usable(std::string(50, 'x')), std::string(40, 'x'));
    for (const std::string& name : {usable("Kelvo Demo"), usable("  many   blanks  ")}) {
        std::string error;
        EXPECT_TRUE(CheckGroupName(name, &error)) << error;
        EXPECT_TRUE(CheckItemTitle(name, &error)) << error;
        EXPECT_TRUE(CheckWindowsFolder("C:\\" + name + "\\", false, &error)) << error;
    }
}

TEST(KelvopackInit, ItemTitlesReadAsPeopleWriteThem)
{
    const auto title = [](const std::string& file) { return ProjectTemplate::ItemTitle(file, "Program 1"); };
    EXPECT_EQ(title("hello.exe"), "Hello");
    EXPECT_EQ(title("hello_world-tool.exe"), "Hello World Tool");
    EXPECT_EQ(title("myApp.exe"), "myApp");  // a name with capitals is written as its maker wrote it
    EXPECT_EQ(title("GIMP.EXE"), "GIMP");
    EXPECT_EQ(title("app.v2.exe"), "App.v2");
    EXPECT_EQ(title("caf\xC3\xA9 (beta).exe"), "Caf\xC3\xA9 beta");  // what a title cannot hold is dropped
    EXPECT_EQ(title("__.exe"), "Program 1");
    EXPECT_EQ(title(std::string(80, 'x') + ".exe"), "X" + std::string(62, 'x'));
}

TEST(KelvopackInit, QuotesAndPatternsSayExactlyTheName)
{
    EXPECT_EQ(ProjectTemplate::Quote("C:\\My App\\"), "'C:\\My App\\'");
    EXPECT_EQ(ProjectTemplate::Quote("it's"), "\"it's\"");
    EXPECT_EQ(ProjectTemplate::Quote("a\"b\\c'\x01"), "\"a\\\"b\\\\c'\\u0001\"");

    const std::string name = "odd [1] *name?.exe";
    const std::string pattern = ProjectTemplate::Literal(name);
    EXPECT_EQ(pattern, "odd [[]1] [*]name[?].exe");
    Glob glob;
    std::string error;
    ASSERT_TRUE(glob.Compile(pattern, &error)) << error;
    EXPECT_TRUE(glob.Match(name));
    for (const char* other : {"odd 1 xname?.exe", "odd [1] *nameX.exe", "odd 1] name.exe"})
        EXPECT_FALSE(glob.Match(other)) << other;
}

// The project text as it is parsed: what init writes builds without a
// change.
class KelvopackInitProject : public ::testing::Test {
protected:
    ::Project Load(const ProjectTemplate& text)
    {
        for (int role = 0; role < 3; ++role)
            packtest::WriteText(dir.Path(kStandIns[role]), StandIns::Make(role, "App"));
        const std::string path = dir.Path("setup.toml");
        packtest::WriteText(path, text.Text());
        return LoadProject(path);
    }

    std::vector<std::string> Problems(::Project* project)
    {
        packtest::WriteStub(dir.Path("stub.exe"));
        return CheckProject(project, CheckInputs{dir.Path("setup.exe"), dir.Path("stub.exe")});
    }

    Scratch dir;
};

TEST_F(KelvopackInitProject, ProgramsGetItemsAndTheRestComesAsAFolder)
{
    packtest::WriteText(dir.Path("my dist/first.exe"), "MZ one");
    packtest::WriteText(dir.Path("my dist/Second.EXE"), "MZ two");
    packtest::WriteText(dir.Path("my dist/docs/guide.txt"), "Guide");
    packtest::WriteText(dir.Path("my dist/lib/plugin.exe"), "MZ below the top");
    ProjectTemplate text;
    text.name = "Caf\xC3\xA9 App";
    text.folder = "my dist";
    text.programs = {"Second.EXE", "first.exe"};
    text.others = true;
    ::Project project = Load(text);

    EXPECT_EQ(project.name, "Caf\xC3\xA9 App");
    EXPECT_EQ(project.group, "Caf\xE9 App");  // stored in code page 1252
    EXPECT_EQ(project.destination, "C:\\Caf\xE9 App\\");
    EXPECT_EQ(project.level, ExecutionLevel::User);
    EXPECT_EQ(project.modes.Letters(), "FTM");
    ASSERT_EQ(project.files.size(), 4u);
    EXPECT_EQ(project.files[0].path, "Second.EXE");
    EXPECT_EQ(project.files[0].title, "Second");
    EXPECT_EQ(project.files[1].path, "first.exe");
    EXPECT_EQ(project.files[1].title, "First");
    // Everything else once, the programs left out of the folder.
    EXPECT_EQ(project.files[2].path, "docs\\guide.txt");
    EXPECT_TRUE(project.files[2].title.empty());
    EXPECT_EQ(project.files[3].path, "lib\\plugin.exe");
    EXPECT_EQ(project.files[3].modes.Letters(), "FTM");
    const std::vector<std::string> problems = Problems(&project);
    EXPECT_TRUE(problems.empty()) << problems.front();

    // Every setting is explained where it stands.
    const std::string written = text.Text();
    for (const char* part :
         {"# The application's name", "publisher = ''\nversion = ''\n", "# group = 'Caf\xC3\xA9 App'\n",
          "# The rights the setup asks for", "level = \"user\"", "# The installation modes offered",
          "at most 182 x 324 pixels", "exclude = ['Second.EXE', 'first.exe']"})
        EXPECT_NE(written.find(part), std::string::npos) << part << "\n" << written;
}

TEST_F(KelvopackInitProject, AFolderOfProgramsNeedsNoFolderTable)
{
    packtest::WriteText(dir.Path("dist/tool.exe"), "MZ");
    ProjectTemplate text;
    text.name = "Toolbox";
    text.folder = "dist";
    text.programs = {"tool.exe"};
    ::Project project = Load(text);
    ASSERT_EQ(project.files.size(), 1u);
    EXPECT_EQ(project.files[0].title, "Tool");  // from its file name
    EXPECT_EQ(project.group, "Toolbox");        // the name, as the group is left to it
    EXPECT_EQ(text.Text().find("[[folder]]"), std::string::npos);
    EXPECT_TRUE(Problems(&project).empty());

    // No program: one folder table, nothing excluded, no item.
    packtest::WriteText(dir.Path("data/a.txt"), "a");
    ProjectTemplate data;
    data.name = "Data";
    data.folder = "data";
    data.others = true;
    project = Load(data);
    ASSERT_EQ(project.files.size(), 1u);
    EXPECT_TRUE(project.files[0].title.empty());
    EXPECT_EQ(data.Text().find("\nexclude = "), std::string::npos);
}

TEST_F(KelvopackInitProject, StandInsFollowTheNameAndTheAuthorsFilesStay)
{
    packtest::WriteText(dir.Path("dist/tool.exe"), "MZ");
    ProjectTemplate text;
    text.name = "A Much Longer Name Than The Stand-ins Had";  // the texts wrap it
    text.folder = "dist";
    text.programs = {"tool.exe"};
    ::Project project = Load(text);  // stand-ins made for "App"
    ASSERT_TRUE(Problems(&project).empty());
    const std::vector<std::string> made = StandIns::Refresh(&project);
    ASSERT_EQ(made.size(), 3u);
    const DisplayFile* display[3] = {&project.bitmap, &project.presentation, &project.agreement};
    for (int role = 0; role < 3; ++role) {
        const std::string bytes = packtest::ReadText(dir.Path(kStandIns[role]));
        EXPECT_EQ(bytes, StandIns::Make(role, "A Much Longer Name Than The Stand-ins Had")) << role;
        EXPECT_EQ(StandIns::MadeFor(role, bytes), "A Much Longer Name Than The Stand-ins Had") << role;
        EXPECT_EQ(display[role]->size, bytes.size()) << "measured again: " << role;
    }
    EXPECT_TRUE(StandIns::Refresh(&project).empty()) << "made for this name already";

    // A stand-in the author edited, the author's own picture, a stand-in of
    // another role: none is taken for a stand-in, none is touched.
    const std::string edited = ProjectTemplate::Presentation("App") + "And more.\r\n";
    packtest::WriteText(dir.Path("pres.txt"), edited);
    packtest::WriteBytes(dir.Path("kelvo.bmp"), packtest::SmallBmp(16, 16));
    packtest::WriteText(dir.Path("licen.txt"), ProjectTemplate::Presentation("App"));
    EXPECT_TRUE(StandIns::Refresh(&project).empty());
    EXPECT_EQ(packtest::ReadText(dir.Path("pres.txt")), edited);
    for (const std::string& name : {std::string("Caf\xE9"), std::string(120, 'w'), std::string("a  b")}) {
        for (int role = 0; role < 3; ++role)
            EXPECT_EQ(StandIns::MadeFor(role, StandIns::Make(role, name)), name) << role << " " << name;
    }
    EXPECT_EQ(StandIns::MadeFor(1, ""), "");
    EXPECT_EQ(StandIns::MadeFor(0, "BM"), "");
}

TEST(KelvopackInit, StandInTextsAreCodePage1252WithCrLf)
{
    const std::string presentation = ProjectTemplate::Presentation("Caf\xE9");
    const std::string agreement = ProjectTemplate::Agreement("Caf\xE9");
    for (const std::string& text : {presentation, agreement}) {
        EXPECT_NE(text.find("Caf\xE9"), std::string::npos);
        // Lines that fit the text view: it does not break them itself.
        size_t start = 0;
        for (size_t i = 0; i < text.size(); ++i) {
            if (text[i] == '\n') {
                EXPECT_TRUE(i > 0 && text[i - 1] == '\r') << "a bare LF at " << i;
                EXPECT_LE(i - 1 - start, 44u) << text.substr(start, i - start);
                start = i + 1;
            }
        }
        EXPECT_EQ(start, text.size()) << "the last line ends with CR LF";
    }
    EXPECT_NE(presentation.find("\r\n\r\n"), std::string::npos) << "paragraphs stay apart";
    EXPECT_NE(presentation.find("\"Next >\""), std::string::npos);
    EXPECT_NE(agreement.find("\"Yes\""), std::string::npos);
}

TEST(KelvopackInit, StandInBitmapIsA256ColourGradientWithTheName)
{
    const std::vector<uint8_t> bmp = PlaceholderBitmap::Make("Kelvo Demo");
    BmpImage image;
    ASSERT_TRUE(image.Parse(bmp.data(), bmp.size())) << BmpImage::ErrorText(image.Fail());
    EXPECT_EQ(image.Width(), PlaceholderBitmap::kWidth);
    EXPECT_EQ(image.Height(), PlaceholderBitmap::kHeight);
    EXPECT_EQ(image.BitCount(), 8);
    EXPECT_EQ(image.ColorTable().size(), 256u);
    EXPECT_FALSE(image.TopDown());
    // Headers, colours, "Kelvo stand-in for Kelvo Demo" and a NUL in 32 bytes, pixels.
    EXPECT_EQ(bmp.size(), 14u + 40 + 1024 + 32 + 160 * 300);
    EXPECT_EQ(PlaceholderBitmap::NameOf(bmp), "Kelvo Demo");

    // Dark blue at the top, light blue at the bottom.
    const BmpColor top = image.Color(0, 0);
    const BmpColor bottom = image.Color(0, PlaceholderBitmap::kHeight - 1);
    EXPECT_EQ(top.red, 27);
    EXPECT_EQ(top.green, 58);
    EXPECT_EQ(top.blue, 107);
    EXPECT_EQ(bottom.red, 111);
    EXPECT_EQ(bottom.green, 168);
    EXPECT_EQ(bottom.blue, 220);

    // White letters in the upper part only, and other letters for another
    // name.
    const auto white = [](const BmpImage& picture, int fromRow, int toRow) {
        int count = 0;
        for (int y = fromRow; y < toRow; ++y)
            for (int x = 0; x < picture.Width(); ++x) {
                const BmpColor c = picture.Color(x, y);
                count += c.red == 255 && c.green == 255 && c.blue == 255 ? 1 : 0;
            }
        return count;
    };
    EXPECT_GT(white(image, 30, 150), 500);
    EXPECT_EQ(white(image, 200, PlaceholderBitmap::kHeight), 0);
    const std::vector<uint8_t> other = PlaceholderBitmap::Make("Other");
    EXPECT_NE(other, bmp);
    EXPECT_EQ(PlaceholderBitmap::Make("Kelvo Demo"), bmp);  // the same name, the same bytes
    // A name too long for any size of letters still makes a bitmap.
    BmpImage longName;
    const std::vector<uint8_t> wide = PlaceholderBitmap::Make(std::string(300, 'W'));
    EXPECT_TRUE(longName.Parse(wide.data(), wide.size()));
}

}  // namespace
