// The uninstaller's copy of itself: the program image without the package.
#include "ProgramImage.h"
#include "Platform.h"
#include "SetupLayout.h"

#include "FakePe.h"
#include "FullDisk.h"
#include "TempDir.h"
#include "TestData.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace {

TEST(ProgramImage, CopiesTheImageAloneWhateverLiesBehindIt)
{
    TempDir dir;
    const std::vector<uint8_t> image = fakepe::Image(0x400);  // ends at 0x600
    // An integrity record's gap, members, script and trailer: 1 MB behind it.
    std::vector<uint8_t> setup = image;
    const std::vector<uint8_t> package = testdata::Generate(1 << 20, 7, 0.3);
    setup.insert(setup.end(), package.begin(), package.end());
    WriteFile("setup.exe", setup);
    WriteFile("copy.exe", std::vector<uint8_t>(5000, 1));  // replaced, not appended to

    uint64_t size = 0;
    ASSERT_TRUE(CopyProgramImage("setup.exe", "copy.exe", &size).Ok());
    EXPECT_EQ(size, 0x600u);
    EXPECT_EQ(ReadFile("copy.exe"), image);
    EXPECT_EQ(ReadFile("setup.exe"), setup);  // the source is left as it was

    // A signed setup: the signature goes with the package.
    std::vector<uint8_t> signedSetup = setup;
    fakepe::Sign(signedSetup, 64);
    WriteFile("signed.exe", signedSetup);
    ASSERT_TRUE(CopyProgramImage("signed.exe", "copy2.exe").Ok());
    const std::vector<uint8_t> copied = ReadFile("copy2.exe");
    ASSERT_EQ(copied.size(), 0x600u);
    EXPECT_TRUE(std::equal(copied.begin(), copied.end(), signedSetup.begin()));

    // A setup that is all image (no package) is copied whole.
    WriteFile("bare.exe", image);
    ASSERT_TRUE(CopyProgramImage("bare.exe", "copy3.exe").Ok());
    EXPECT_EQ(ReadFile("copy3.exe"), image);
}

TEST(ProgramImage, RefusesWhatIsNoImageAndLeavesNoPartialCopy)
{
    TempDir dir;
    WriteFile("text.exe", testdata::Bytes("MZ but nothing more"));
    Status status = CopyProgramImage("text.exe", "copy.exe");
    EXPECT_EQ(status.What(), Fault::kDamaged);
    EXPECT_FALSE(platform::FileExists("copy.exe"));

    // Headers that place the image's end behind the file's end.
    std::vector<uint8_t> cut = fakepe::Image(0x400);
    cut.resize(0x500);
    WriteFile("cut.exe", cut);
    status = CopyProgramImage("cut.exe", "copy.exe");
    EXPECT_FALSE(status.Ok());
    EXPECT_FALSE(platform::FileExists("copy.exe"));

    status = CopyProgramImage("missing.exe", "copy.exe");
    EXPECT_EQ(status.What(), Fault::kUnreadable);
    EXPECT_NE(status.Text().find("missing.exe"), std::string::npos);
    EXPECT_FALSE(platform::FileExists("copy.exe"));

    std::vector<uint8_t> big = fakepe::Image(0x20000);
    WriteFile("big.exe", big);
    status = CopyProgramImage("big.exe", "nofolder/copy.exe");
    EXPECT_EQ(status.What(), Fault::kCannotCreate);
    {
        FullDisk full(4096);
        status = CopyProgramImage("big.exe", "full.exe");
    }
    EXPECT_EQ(status.What(), Fault::kCannotWrite);
    EXPECT_FALSE(platform::FileExists("full.exe"));
}

TEST(RelaunchFiles, OnlyWhatTheUninstallerReadsAndShows)
{
    std::set<std::string> names;
    for (const layout::RelaunchFile& file : layout::kRelaunchFiles) {
        names.insert(file.name);
        // Members come under the names start-up extracts them as.
        if (file.fromPackage) {
            EXPECT_STREQ(file.source, file.name);
        }
    }
    EXPECT_EQ(names, (std::set<std::string>{layout::kModeFile, layout::kUninstallCopy, layout::kScript, layout::kBitmap,
                                            layout::kPresentation, layout::kAgreement}));
    // The uninstall data changes its name on the way; the mode file does not.
    EXPECT_STREQ(layout::kRelaunchFiles[1].source, layout::kUninstallData);
    EXPECT_FALSE(layout::kRelaunchFiles[0].fromPackage);
    EXPECT_FALSE(layout::kRelaunchFiles[1].fromPackage);
}

}  // namespace
