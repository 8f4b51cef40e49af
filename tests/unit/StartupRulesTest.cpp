// Start-up rules of the setup program: mode file, window titles, bounded
// paths and the registration of the display files.
#include "StartupRules.h"

#include "TListaDado.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <unistd.h>

namespace {

using startup::DisplayStep;
using startup::PlanDisplayFiles;

class ModeFile : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/kelvo-modo-XXXXXX";
        const int fd = mkstemp(pattern);
        ASSERT_GE(fd, 0);
        close(fd);
        path_ = pattern;
    }
    void TearDown() override { std::remove(path_.c_str()); }

    int ModeOf(const std::string& content)
    {
        FILE* f = std::fopen(path_.c_str(), "wb");
        EXPECT_NE(f, nullptr);
        std::fwrite(content.data(), 1, content.size(), f);
        std::fclose(f);
        return startup::ModeFromFile(path_.c_str());
    }

    std::string path_;
};

TEST_F(ModeFile, UpperCaseUAfterWhiteSpaceSelectsUninstall)
{
    EXPECT_EQ(ModeOf("U"), startup::kUninstallMode);
    EXPECT_EQ(ModeOf("\r\nU"), startup::kUninstallMode);
    EXPECT_EQ(ModeOf(" \t\v\f\nU"), startup::kUninstallMode);
    EXPECT_EQ(ModeOf("Uninstall please"), startup::kUninstallMode);
}

TEST_F(ModeFile, AnythingElseSelectsInstall)
{
    EXPECT_EQ(ModeOf("u"), startup::kInstallMode);
    EXPECT_EQ(ModeOf(""), startup::kInstallMode);
    EXPECT_EQ(ModeOf("   \n"), startup::kInstallMode);
    EXPECT_EQ(ModeOf("XU"), startup::kInstallMode);  // only the first character counts
    EXPECT_EQ(ModeOf(std::string("\0U", 2)), startup::kInstallMode);
    std::remove(path_.c_str());
    EXPECT_EQ(startup::ModeFromFile(path_.c_str()), startup::kInstallMode);
}

TEST(Captions, InstallCaptionIsFixed)
{
    char caption[startup::kCaptionSize];
    std::memset(caption, 'x', sizeof caption);
    startup::InstallCaption(caption);
    EXPECT_STREQ(caption, "Kelvo \xAE - \"Let The Kelvo Do The Work For You!\"");
    EXPECT_EQ(std::strlen(caption), 46u);
}

TEST(Captions, UninstallCaptionCarriesTheGroupWithItsBlanks)
{
    char caption[startup::kCaptionSize];
    startup::UninstallCaption(caption, "My  App Group");
    EXPECT_STREQ(caption, "Kelvo \xAE - Uninstalling application: My  App Group");
    startup::UninstallCaption(caption, "");
    EXPECT_STREQ(caption, "Kelvo \xAE - Uninstalling application: ");
    EXPECT_EQ(std::strlen(caption), 36u);
}

TEST(Captions, LongGroupNamesAreShortenedWithinTheBuffer)
{
    struct {
        char caption[startup::kCaptionSize];
        char guard[8];
    } buffer;
    std::memset(&buffer, '#', sizeof buffer);
    const char* caption = buffer.caption;

    const std::string fits(91, 'g');
    startup::UninstallCaption(buffer.caption, fits.c_str());
    EXPECT_EQ(std::strlen(caption), 127u);
    EXPECT_EQ(std::string(caption + 36), fits);

    const std::string longer = std::string(88, 'a') + "bcdefghijk";
    startup::UninstallCaption(buffer.caption, longer.c_str());
    EXPECT_EQ(std::strlen(caption), 127u);
    EXPECT_EQ(std::string(caption + 36), std::string(88, 'a') + "...");

    const std::string huge(5000, 'z');
    startup::UninstallCaption(buffer.caption, huge.c_str());
    EXPECT_EQ(std::strlen(caption), 127u);
    EXPECT_EQ(std::string(buffer.guard, sizeof buffer.guard), std::string(8, '#'));
}

TEST(Paths, JoinsUpTo511Characters)
{
    char path[512 + 4];
    std::memset(path, '#', sizeof path);
    const std::string folder(500, 'f');
    startup::JoinPath(path, folder.c_str(), "\\", "0123456789");
    EXPECT_EQ(std::strlen(path), 511u);
    EXPECT_EQ(std::string(path + 500), "\\0123456789");
    EXPECT_EQ(path[512], '#');

    startup::JoinPath(path, "C:\\", "\\", "setup.exe");  // a drive root doubles the backslash
    EXPECT_STREQ(path, "C:\\\\setup.exe");
    startup::CopyPath(path, "");
    EXPECT_STREQ(path, "");
}

TEST(PathsDeathTest, LongerPathsEndTheProgramInsteadOfBeingCut)
{
    char path[512];
    const std::string folder(501, 'f');
    EXPECT_EXIT(startup::JoinPath(path, folder.c_str(), "\\", "0123456789"),
                ::testing::ExitedWithCode(1), "longer than 511 characters");
    const std::string text(512, 't');
    EXPECT_EXIT(startup::CopyPath(path, text.c_str()), ::testing::ExitedWithCode(1),
                "longer than 511 characters");
}

// A file record: flags 0 make it a display record.
void Add(TListaDado& list, const char* arq, uint32_t comp, bool flagged = false)
{
    list.Add(arq, "_", comp * 2, comp, 0, flagged ? 1 : 0, 0, 0);
}

std::string Describe(const std::vector<DisplayStep>& steps)
{
    std::string out;
    for (const DisplayStep& s : steps) {
        out += s.member + ":" + std::to_string(s.size) + (s.extract ? "" : "(kept)");
        for (const std::string& c : s.copies)
            out += "+" + c;
        out += " ";
    }
    return out;
}

TEST(DisplayFiles, ThreeDistinctFilesFromTheLastRecordBackwards)
{
    TListaDado list;
    Add(list, "C:\\App\\app.exe", 372581, true);
    Add(list, "C:\\App\\app.hlp", 135385, true);
    list.Add("C:\\App\\CTLS32.DLL", "_", 211488, 86737, 0, 0, 1, 1);
    Add(list, "C:\\App\\logo.bmp", 20299);
    Add(list, "C:\\App\\readme.txt", 295);
    Add(list, "C:\\App\\license.txt", 5163);
    const auto steps =
        PlanDisplayFiles(list, "C:\\App\\logo.bmp", "C:\\App\\readme.txt", "C:\\App\\license.txt");
    EXPECT_EQ(Describe(steps), "licen.txt:5163 pres.txt:295 kelvo.bmp:20299 ");
}

TEST(DisplayFiles, ARecordServingTwoRolesIsRegisteredOnceAndCopied)
{
    TListaDado list;
    Add(list, "app.exe", 1000, true);
    Add(list, "logo.bmp", 300);
    Add(list, "text.txt", 40);
    auto steps = PlanDisplayFiles(list, "logo.bmp", "text.txt", "text.txt");
    EXPECT_EQ(Describe(steps), "pres.txt:40+licen.txt kelvo.bmp:300 ");

    TListaDado one;
    Add(one, "all.dat", 77);
    steps = PlanDisplayFiles(one, "all.dat", "all.dat", "all.dat");
    EXPECT_EQ(Describe(steps), "kelvo.bmp:77+pres.txt+licen.txt ");

    steps = PlanDisplayFiles(list, "text.txt", "logo.bmp", "text.txt");
    EXPECT_EQ(Describe(steps), "kelvo.bmp:40+licen.txt pres.txt:300 ");
}

TEST(DisplayFiles, RecordsServingNoRoleKeepTheLayout)
{
    TListaDado list;
    Add(list, "app.exe", 1000, true);
    Add(list, "logo.bmp", 300);
    Add(list, "unnamed.txt", 12);  // the script names no presentation text
    Add(list, "license.txt", 50);
    const auto steps = PlanDisplayFiles(list, "logo.bmp", "", "license.txt");
    ASSERT_EQ(steps.size(), 3u);
    EXPECT_EQ(steps[0].member, "licen.txt");
    EXPECT_FALSE(steps[1].extract);
    EXPECT_EQ(steps[1].size, 12u);
    EXPECT_NE(steps[1].member.find('?'), std::string::npos);  // no file can have the name
    EXPECT_EQ(steps[2].member, "kelvo.bmp");
    EXPECT_EQ(steps[2].size, 300u);
}

TEST(DisplayFiles, NamesCompareExactlyAndEachRoleIsServedOnce)
{
    TListaDado list;
    Add(list, "LOGO.BMP", 5);
    Add(list, "logo.bmp", 6);
    Add(list, "logo.bmp", 7);  // the same file listed twice
    const auto steps = PlanDisplayFiles(list, "logo.bmp", "", "");
    ASSERT_EQ(steps.size(), 3u);
    EXPECT_EQ(steps[0].member, "kelvo.bmp");
    EXPECT_EQ(steps[0].size, 7u);
    EXPECT_FALSE(steps[1].extract);
    EXPECT_FALSE(steps[2].extract);  // case differs: not the bitmap
    EXPECT_NE(steps[1].member, steps[2].member);
}

TEST(DisplayFiles, NoFlagLessRecordsNothingToDo)
{
    TListaDado list;
    Add(list, "a.exe", 10, true);
    list.Add("b.exe", "Item", 10, 10, 1, 0, 0, 0);  // a group item without mode
    EXPECT_TRUE(PlanDisplayFiles(list, "a.exe", "b.exe", "").empty());
    EXPECT_TRUE(PlanDisplayFiles(TListaDado(), "x", "y", "z").empty());
}

}  // namespace
