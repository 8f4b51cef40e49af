// kelvopack init and the build warnings, as an author meets them: a folder
// becomes a setup with two commands, and a build says what the setup would
// show wrongly without failing.
#include "PackScratch.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using packtest::Has;
using packtest::Result;
using packtest::Scratch;

// kelvopack with the arguments, run in `cwd`, its output captured.
Result Tool(const std::vector<std::string>& args, const Scratch& dir, const std::string& cwd)
{
    return packtest::RunProgram(KELVOPACK_EXE, args, dir, cwd);
}

class KelvopackInitCommand : public ::testing::Test {
protected:
    void SetUp() override
    {
        packtest::WriteStub(dir.Path("stub.exe"));
        packtest::WriteText(dir.Path("work/My App 2/app.exe"), "MZ the program");
        packtest::WriteText(dir.Path("work/My App 2/help/index.txt"), "Help.\r\n");
        packtest::WriteText(dir.Path("work/My App 2/.git/config"), "not installed");
        work = dir.Path("work");
    }

    Result Run(const std::vector<std::string>& args) { return Tool(args, dir, work); }

    Scratch dir;
    std::string work;
};

TEST_F(KelvopackInitCommand, AFolderBecomesASetupWithoutAnEdit)
{
    Result r = Run({"init", "My App 2"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_TRUE(r.err.empty()) << r.err;
    EXPECT_TRUE(Has(r.out,
                    "setup.toml: installs 2 files of My App 2; stand-ins to replace: kelvo.bmp pres.txt "
                    "licen.txt"))
        << r.out;
    EXPECT_TRUE(Has(r.out, "next: kelvopack build setup.toml -o setup.exe")) << r.out;
    const std::string project = packtest::ReadText(dir.Path("work/setup.toml"));
    for (const char* part : {"name = 'My App 2'", "destination = 'C:\\My App 2\\'", "source = 'My App 2/app.exe'",
                             "title = 'App'", "exclude = ['app.exe']"})
        EXPECT_TRUE(Has(project, part)) << part << "\n" << project;

    r = Run({"build", "setup.toml", "-o", "setup.exe", "--stub", dir.Path("stub.exe")});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_TRUE(r.err.empty()) << "the stand-ins draw no warning:\n" << r.err;
    r = Run({"verify", "setup.exe"});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_TRUE(Has(r.out, "OK, 5 members")) << r.out;
    r = Run({"list", "setup.exe"});
    for (const char* part :
         {"Group:         My App 2", "GFTM   app.exe                        App\n", "XFTM   help\\index.txt"})
        EXPECT_TRUE(Has(r.out, part)) << part << "\n" << r.out;
    EXPECT_FALSE(Has(r.out, ".git")) << r.out;

    // Renamed: the stand-ins follow, the group too (left to the name).
    std::string renamed = project;
    renamed.replace(renamed.find("name = 'My App 2'"), 17, "name = 'Hello Tools'");
    packtest::WriteText(dir.Path("work/setup.toml"), renamed);
    r = Run({"build", "setup.toml", "-o", "setup.exe", "--stub", dir.Path("stub.exe")});
    ASSERT_EQ(r.code, 0) << r.err;
    for (const char* name : {"kelvo.bmp", "pres.txt", "licen.txt"})
        EXPECT_TRUE(Has(r.out, std::string(name) + ": the stand-in made anew for the name \"Hello Tools\"")) << r.out;
    EXPECT_TRUE(Has(packtest::ReadText(dir.Path("work/pres.txt")), "Welcome to the setup of Hello Tools."));
    r = Run({"list", "setup.exe"});
    EXPECT_TRUE(Has(r.out, "Name:          Hello Tools\n")) << r.out;
    EXPECT_TRUE(Has(r.out, "Group:         Hello Tools\n")) << r.out;

    // Never over an existing project; the author's stand-ins stay as edited.
    packtest::WriteText(dir.Path("work/pres.txt"), "My own welcome.\r\n");
    const std::string before = packtest::ReadText(dir.Path("work/setup.toml"));
    r = Run({"init", "My App 2"});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err, "kelvopack: setup.toml: already exists; kelvopack init does not overwrite it\n");
    EXPECT_EQ(packtest::ReadText(dir.Path("work/setup.toml")), before);
    r = Run({"init", "My App 2", "-o", "other.toml", "--name", "Other (beta)"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_TRUE(Has(r.out, "kept: kelvo.bmp pres.txt licen.txt")) << r.out;
    EXPECT_EQ(packtest::ReadText(dir.Path("work/pres.txt")), "My own welcome.\r\n");
    EXPECT_TRUE(Has(packtest::ReadText(dir.Path("work/other.toml")), "group = 'Other beta'"));
}

TEST_F(KelvopackInitCommand, RefusalsWriteNothing)
{
    packtest::WriteText(dir.Path("work/hidden/.only"), "x");
    const struct {
        std::vector<std::string> args;
        std::string err;
    } refused[] = {
        {{"init", "missing"}, "kelvopack: missing: no such folder\n"},
        {{"init", "My App 2", "-o", "My App 2/in.toml"},
         "kelvopack: My App 2/in.toml: lies inside the folder it would install; write it elsewhere with -o\n"},
        {{"init", "hidden"}, "kelvopack: hidden: holds no file to install (names beginning with a dot are left out)\n"},
    };
    for (const auto& refusal : refused) {
        const Result r = Run(refusal.args);
        EXPECT_EQ(r.code, 1) << refusal.args[1];
        EXPECT_EQ(r.err, refusal.err);
    }
    EXPECT_EQ(Run({"init"}).code, 2);
    for (const char* name : {"setup.toml", "kelvo.bmp", "pres.txt", "licen.txt", "My App 2/in.toml"})
        EXPECT_FALSE(packtest::Exists(dir.Path(std::string("work/") + name))) << name;

    // A folder whose files the setup cannot install: written, and said so.
    packtest::WriteText(dir.Path("work/bad/a@b.txt"), "x");
    const Result r = Run({"init", "bad", "-o", "bad.toml"});
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(Has(r.err, "kelvopack: bad.toml needs editing before it builds:")) << r.err;
    EXPECT_TRUE(Has(r.err, "holds \"@\"")) << r.err;
}

TEST_F(KelvopackInitCommand, BuildWarnsAndStillBuilds)
{
    ASSERT_EQ(Run({"init", "My App 2"}).code, 0);
    packtest::WriteBytes(dir.Path("work/kelvo.bmp"), packtest::SmallBmp(400, 300, 24));
    packtest::WriteText(dir.Path("work/licen.txt"), "\xEF\xBB\xBFTerms: na\xC3\xAFve.\r\n");
    const Result r = Run({"build", "setup.toml", "-o", "setup.exe", "--stub", dir.Path("stub.exe"), "-q"});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_TRUE(packtest::Exists(dir.Path("work/setup.exe")));
    std::vector<std::string> lines;
    for (size_t start = 0, end; start < r.err.size(); start = end + 1) {
        end = r.err.find('\n', start);
        lines.push_back(r.err.substr(start, end - start));
    }
    // Each names the line and column of its setting.
    const std::string project = packtest::ReadText(dir.Path("work/setup.toml"));
    const auto lineOf = [&project](const std::string& start) {
        const size_t at = project.find("\n" + start);
        return std::to_string(std::count(project.begin(), project.begin() + static_cast<std::ptrdiff_t>(at) + 1, '\n') +
                              1);
    };
    ASSERT_EQ(lines.size(), 4u) << r.err;
    EXPECT_EQ(lines[0].rfind("kelvopack: warning: setup.toml:" + lineOf("bitmap = ") +
                                 ":10: the bitmap \"kelvo.bmp\": it has 24 bits",
                             0),
              0u)
        << lines[0];
    EXPECT_TRUE(Has(lines[1], "400 pixels wide")) << lines[1];
    EXPECT_EQ(lines[2].rfind("kelvopack: warning: setup.toml:" + lineOf("agreement = ") +
                                 ":13: the agreement text \"licen.txt\": it begins with a UTF-8 byte order mark",
                             0),
              0u)
        << lines[2];
    EXPECT_TRUE(Has(lines[3], "UTF-8 text")) << lines[3];
}

}  // namespace
