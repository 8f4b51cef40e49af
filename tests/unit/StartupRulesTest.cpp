// Start-up rules of the setup program: mode file, window titles, bounded
// paths and the registration of the display files.
#include "StartupRules.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <unistd.h>

namespace {

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
    EXPECT_TRUE(startup::JoinPath(path, folder.c_str(), "\\", "0123456789"));
    EXPECT_EQ(std::strlen(path), 511u);
    EXPECT_EQ(std::string(path + 500), "\\0123456789");
    EXPECT_EQ(path[512], '#');

    EXPECT_TRUE(startup::JoinPath(path, "C:\\", "\\", "setup.exe"));  // a drive root doubles the backslash
    EXPECT_STREQ(path, "C:\\\\setup.exe");
    EXPECT_TRUE(startup::CopyPath(path, ""));
    EXPECT_STREQ(path, "");
}

TEST(Paths, LongerPathsAreRefusedInsteadOfBeingCut)
{
    char path[512] = "kept";
    const std::string folder(501, 'f');
    const Status joined = startup::JoinPath(path, folder.c_str(), "\\", "0123456789");
    EXPECT_EQ(joined.What(), Fault::kRefused);
    EXPECT_NE(joined.Text().find("longer than 511 characters"), std::string::npos);
    const std::string text(512, 't');
    const Status copied = startup::CopyPath(path, text.c_str());
    EXPECT_EQ(copied.What(), Fault::kRefused);
    EXPECT_NE(copied.Text().find("longer than 511 characters"), std::string::npos);
    EXPECT_STREQ(path, "kept");
}

}  // namespace
