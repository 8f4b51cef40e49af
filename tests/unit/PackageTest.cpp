#include "File.h"
#include "LittleEndian.h"
#include "Lzss.h"
#include "PackageReader.h"
#include "Platform.h"
#include "PeImage.h"
#include "SetupLayout.h"
#include "TApend.h"
#include "TFat.h"
#include "THuf.h"

#include "FakePe.h"
#include "FullDisk.h"
#include "TempDir.h"
#include "TestData.h"

#include "StatusText.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace {

using ::testing::ExitedWithCode;

void ExpectFailure(const Status& status, const std::string& caption, const std::string& text)
{
    EXPECT_FALSE(status.Ok());
    EXPECT_FALSE(status.IsCanceled());
    EXPECT_EQ(status.Caption(), caption);
    EXPECT_EQ(status.Text(), text);
}

std::vector<uint8_t> Packed(const std::vector<uint8_t>& in)
{
    std::vector<uint8_t> out(lzss::CompressBound(in.size()));
    out.resize(lzss::Compress(in.data(), in.size(), out.data(), out.size()));
    return out;
}

// A package file: image bytes, the compressed members, the compressed script
// (here any bytes) and the trailer.
std::vector<uint8_t> Package(std::vector<uint8_t> image, const std::vector<std::vector<uint8_t>>& members,
                             const std::vector<uint8_t>& script)
{
    for (const auto& m : members) {
        const auto packed = Packed(m);
        image.insert(image.end(), packed.begin(), packed.end());
    }
    const auto packedScript = Packed(script);
    image.insert(image.end(), packedScript.begin(), packedScript.end());
    const uint32_t s = static_cast<uint32_t>(packedScript.size());
    for (int i = 0; i < 4; ++i)
        image.push_back(static_cast<uint8_t>(s >> (8 * i)));
    return image;
}

// The stored numbers: least significant byte first at any alignment, and
// every bit of a 64-bit one, past 4 GiB too, read back as written.
TEST(LittleEndian, NumbersReadBackAsWrittenAtAnyAlignment)
{
    uint8_t bytes[13] = {};
    PutLe32(bytes + 1, 0x89ABCDEFu);
    EXPECT_EQ(bytes[1], 0xEF);
    EXPECT_EQ(bytes[4], 0x89);
    EXPECT_EQ(Le32(bytes + 1), 0x89ABCDEFu);
    EXPECT_EQ(Le16(bytes + 1), 0xCDEF);
    for (const uint64_t v : {uint64_t(0), uint64_t(0x100000000), uint64_t(0xFEDCBA9876543210), ~uint64_t(0)}) {
        PutLe64(bytes + 5, v);
        EXPECT_EQ(Le64(bytes + 5), v);
        EXPECT_EQ(Le32(bytes + 9), static_cast<uint32_t>(v >> 32));
    }
    EXPECT_EQ(Le32(bytes + 1), 0x89ABCDEFu);  // its neighbour untouched

    // Appended, each number follows the last, at whatever offset it lands.
    std::vector<uint8_t> built = {0x55};
    AppendLe16(&built, 0xBEEF);
    AppendLe32(&built, 0x89ABCDEFu);
    AppendLe64(&built, 0xFEDCBA9876543210);
    ASSERT_EQ(built.size(), 15u);
    EXPECT_EQ(built[0], 0x55);
    EXPECT_EQ(Le16(built.data() + 1), 0xBEEF);
    EXPECT_EQ(Le32(built.data() + 3), 0x89ABCDEFu);
    EXPECT_EQ(Le64(built.data() + 7), 0xFEDCBA9876543210);
}

TEST(THuf, CompressesAndDecompressesFilesAndPrintsTheSummary)
{
    TempDir dir;
    WriteFile("abc.txt", std::string("abc"));
    testing::internal::CaptureStdout();
    {
        THuf huf("abc.txt", "abc.huf", 1);
        EXPECT_EQ(huf.Executar(), 1);
    }
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "           3\rIn : 3 bytes\nOut: 4 bytes\nOut/In: 1.333\n");
    EXPECT_EQ(ReadFile("abc.huf"), (std::vector<uint8_t>{0x07, 'a', 'b', 'c'}));
    THuf back("abc.huf", "abc.out", 0);
    EXPECT_EQ(back.Executar(), 1);
    EXPECT_EQ(ReadFile("abc.out"), testdata::Bytes("abc"));
}

TEST(THuf, EmptyFilesStayEmptyAndPrintNothing)
{
    TempDir dir;
    WriteFile("empty", std::string());
    testing::internal::CaptureStdout();
    EXPECT_EQ(THuf("empty", "empty.huf", 1).Executar(), 1);
    EXPECT_EQ(THuf("empty.huf", "empty.out", 0).Executar(), 1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_TRUE(Exists("empty.huf"));
    EXPECT_TRUE(ReadFile("empty.huf").empty());
    EXPECT_TRUE(ReadFile("empty.out").empty());
}

TEST(THuf, LargeFilesRoundTripAndEachRunCountsOnlyItself)
{
    TempDir dir;
    // Larger than the file layer's chunk, so that input is carried over.
    const std::vector<uint8_t> data = testdata::Generate((1 << 20) * 2 + 12345, 7, 0.6, 64);
    WriteFile("big", data);
    for (int run = 0; run < 2; ++run) {
        testing::internal::CaptureStdout();
        EXPECT_EQ(THuf("big", "big.huf", 1).Executar(), 1);
        const std::string out = testing::internal::GetCapturedStdout();
        EXPECT_NE(out.find("In : " + std::to_string(data.size()) + " bytes\n"), std::string::npos);
        EXPECT_EQ(ReadFile("big.huf"), Packed(data));
    }
    EXPECT_EQ(THuf("big.huf", "big.out", 0).Executar(), 1);
    EXPECT_EQ(ReadFile("big.out"), data);
}

TEST(THuf, FailedWritesAreReportedAsFailure)
{
    if (!FullDisk::Enforced())
        GTEST_SKIP() << "this system does not enforce file size limits";
    TempDir dir;
    const std::vector<uint8_t> data = testdata::Generate(100000, 1, 0.2);
    WriteFile("data", data);
    WriteFile("data.huf", Packed(data));
    testing::internal::CaptureStdout();
    {
        FullDisk full(4096);
        EXPECT_EQ(THuf("data", "out.huf", 1).Executar(), 0);
        EXPECT_EQ(THuf("data.huf", "out", 0).Executar(), 0);
    }
    testing::internal::GetCapturedStdout();
    // The limit really was the cause: lifted, both succeed.
    testing::internal::CaptureStdout();
    EXPECT_EQ(THuf("data", "out.huf", 1).Executar(), 1);
    EXPECT_EQ(THuf("data.huf", "out", 0).Executar(), 1);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(ReadFile("out"), data);
}

TEST(THufDeathTest, UnopenableFilesEndTheProgramWithItsMessage)
{
    TempDir dir;
    WriteFile("data", std::string("x"));
    EXPECT_EXIT(THuf("missing", "out", 0), ExitedWithCode(1), "Error!: THuf");
    EXPECT_EXIT(THuf("data", "no/such/folder/out", 1), ExitedWithCode(1), "Error!: THuf");
}

TEST(TFat, LooksUpNamesExactlyAndReportsZeroForUnknownOnes)
{
    TFat fat;
    EXPECT_EQ(fat.Indice("a"), 0u);
    fat.AdArq("kelvo.se", 375, 371);
    fat.AdArq("Licen.txt", 5538, 5163);
    EXPECT_EQ(fat.Indice("kelvo.se"), 375u);
    EXPECT_EQ(fat.Tam("kelvo.se"), 371u);
    EXPECT_EQ(fat.Indice("licen.txt"), 0u);  // letter case counts
    EXPECT_EQ(fat.Tam("Licen.txt"), 5163u);
    EXPECT_EQ(fat.NumArq(), 2);
}

TEST(TFat, HoldsAHundredThousandMembers)
{
    TFat fat;
    for (uint32_t i = 0; i < 100000; ++i)
        fat.AdArq(("dir\\file" + std::to_string(i)).c_str(), 4ull + i * 10ull, i);
    for (uint32_t i = 0; i < 100000; i += 997)
        ASSERT_EQ(fat.Indice(("dir\\file" + std::to_string(i)).c_str()), 4ull + i * 10ull);
}

TEST(TFat, DuplicateAndOverlongNamesAreRefusedAndLeaveTheTableAsItWas)
{
    TFat fat;
    fat.AdArq("a.exe", 10, 5);
    ExpectFailure(fat.TryAdArq("a.exe", 20, 5), "a.exe", "File already exits in \"FAT\"!");
    EXPECT_EQ(fat.Indice("a.exe"), 10u);
    const Status overlong = fat.TryAdArq(std::string(256, 'n').c_str(), 20, 5);
    EXPECT_NE(overlong.Text().find("longer than 255 characters"), std::string::npos);
    EXPECT_EQ(fat.NumArq(), 1);
    EXPECT_TRUE(fat.TryAdArq(std::string(255, 'n').c_str(), 30, 5));
    EXPECT_EXIT(fat.AdArq("a.exe", 20, 5), ExitedWithCode(1), "a.exe: File already exits in \"FAT\"!");
}

TEST(TApend, RegistersTheSixRecordExampleAtItsOffsets)
{
    TApend apend("unused");
    apend.IncluirFat("kelvo.se", 371);
    const uint32_t sizes[] = {372581, 135385, 86737, 20299, 295, 5163};
    const uint64_t expected[] = {620835, 248254, 112869, 26132, 5833, 5538};
    for (int k = 5; k >= 0; --k)
        apend.IncluirFat(("record" + std::to_string(k)).c_str(), sizes[k]);
    uint64_t indice = 0;
    uint32_t tam = 0;
    apend.LerFat("kelvo.se", &indice, &tam);
    EXPECT_EQ(indice, 375u);
    EXPECT_EQ(tam, 371u);
    for (int k = 0; k < 6; ++k) {
        apend.LerFat(("record" + std::to_string(k)).c_str(), &indice, &tam);
        EXPECT_EQ(indice, expected[k]) << "record " << k;
        EXPECT_EQ(tam, sizes[k]);
    }
    apend.LerFat("other", &indice, &tam);
    EXPECT_EQ(indice, 0u);
    EXPECT_EQ(tam, 0u);
}

TEST(TApend, BuildsAndReadsBackAPackageByteExact)
{
    TempDir dir;
    const std::vector<std::vector<uint8_t>> members = {testdata::Generate(200000, 1, 0.7, 30),
                                                       testdata::Text(70000, 2),
                                                       {},
                                                       testdata::Generate(3, 3, 0.0)};
    WriteFile("setup.exe", std::string("MZ stub of any content"));
    std::vector<uint32_t> compressed;
    testing::internal::CaptureStdout();
    {
        TApend builder("setup.exe");
        for (size_t k = 0; k < members.size(); ++k) {
            const std::string name = "m" + std::to_string(k);
            WriteFile(name, members[k]);
            const uint32_t* sizes = builder.IncluirArq(name.c_str());
            EXPECT_EQ(sizes[0], members[k].size());
            EXPECT_EQ(sizes[1], Packed(members[k]).size());
            compressed.push_back(sizes[1]);
        }
        WriteFile("kelvo.se", std::string("#DIR_NOME_GRUPO Test\r\n"));
        builder.IncluirArq("kelvo.se");
    }
    testing::internal::GetCapturedStdout();
    EXPECT_FALSE(Exists("arq.huf"));
    EXPECT_EQ(ReadFile("setup.exe"),
              Package(testdata::Bytes("MZ stub of any content"), members, testdata::Bytes("#DIR_NOME_GRUPO Test\r\n")));

    std::filesystem::create_directory("out");
    std::filesystem::current_path("out");
    TApend reader("../setup.exe");
    reader.ExtrairArq("kelvo.se");
    EXPECT_EQ(ReadFile("kelvo.se"), testdata::Bytes("#DIR_NOME_GRUPO Test\r\n"));
    for (size_t k = members.size(); k-- > 0;)
        reader.IncluirFat(("m" + std::to_string(k)).c_str(), compressed[k]);
    WriteFile("m1", std::string("an older file of that name"));
    for (size_t k = 0; k < members.size(); ++k)
        EXPECT_EQ(ReadFile("m" + std::to_string(k)),
                  k == 1 ? testdata::Bytes("an older file of that name") : std::vector<uint8_t>());
    for (size_t k = 0; k < members.size(); ++k) {
        reader.ExtrairArq(("m" + std::to_string(k)).c_str());
        EXPECT_EQ(ReadFile("m" + std::to_string(k)), members[k]) << "member " << k;
    }
    EXPECT_FALSE(Exists("arq.huf"));
}

TEST(TApend, FindsThePackageOfASignedSetup)
{
    TempDir dir;
    const std::vector<uint8_t> member = testdata::Text(5000, 4);
    std::vector<uint8_t> file = Package(fakepe::Image(), {member}, testdata::Bytes("script"));
    fakepe::Sign(file, 1200);
    WriteFile("signed.exe", file);
    TApend reader("signed.exe");
    reader.ExtrairArq("kelvo.se");
    EXPECT_EQ(ReadFile("kelvo.se"), testdata::Bytes("script"));
    reader.IncluirFat("member", static_cast<uint32_t>(Packed(member).size()));
    reader.ExtrairArq("member");
    EXPECT_EQ(ReadFile("member"), member);
}

TEST(TApend, ReadingFailuresAreReportedWithTheirMessages)
{
    TempDir dir;
    const std::vector<uint8_t> member = testdata::Text(3000, 5);
    WriteFile("setup.exe", Package(testdata::Bytes("stub"), {member}, testdata::Bytes("s")));
    ExpectFailure(TApend("missing.exe").TryExtrairArq("kelvo.se"), "Error!", "Can't read \"Apendix File\"!");
    ExpectFailure(TApend("setup.exe").TryExtrairArq("never.txt"), "never.txt",
                  "Null offset! Can't read file in \"FAT\".");
    // A name differing from the script's only in case does not read the trailer.
    ExpectFailure(TApend("setup.exe").TryExtrairArq("Kelvo.se"), "Kelvo.se",
                  "Null offset! Can't read file in \"FAT\".");
    TApend twice("setup.exe");
    ASSERT_TRUE(twice.TryExtrairArq("kelvo.se"));
    ExpectFailure(twice.TryExtrairArq("kelvo.se"), "kelvo.se", "File already exits in \"FAT\"!");
    // A member whose folder does not exist: the codec's own message.
    ASSERT_TRUE(twice.TryIncluirFat("no/such/folder/file", static_cast<uint32_t>(Packed(member).size())));
    const Status uncreatable = twice.TryExtrairArq("no/such/folder/file");
    ExpectFailure(uncreatable, "Error!", "THuf");
    EXPECT_EQ(uncreatable.What(), Fault::kCannotCreate);  // what the installer words anew
    // The facade shows the same message and ends the program with code 1.
    EXPECT_EXIT(TApend("missing.exe").ExtrairArq("kelvo.se"), ExitedWithCode(1),
                "Error!: Can't read \"Apendix File\"!");
}

TEST(TApend, MembersOutsideTheFileOrInsideTheProgramAreDamageNotWrongBytes)
{
    TempDir dir;
    WriteFile("tiny.exe", std::string("ab"));
    ExpectFailure(TApend("tiny.exe").TryExtrairArq("kelvo.se"), "Error!",
                  "Damaged package: member \"kelvo.se\" lies outside the file.");
    // The trailer claims a script larger than the whole file.
    WriteFile("claims.exe", std::vector<uint8_t>{1, 2, 3, 0xFF, 0xFF, 0, 0});
    ExpectFailure(TApend("claims.exe").TryExtrairArq("kelvo.se"), "Error!",
                  "Damaged package: member \"kelvo.se\" lies outside the file.");
    WriteFile("setup.exe", Package(testdata::Bytes("stub"), {testdata::Text(100, 1)}, testdata::Bytes("s")));
    TApend reader("setup.exe");
    ASSERT_TRUE(reader.TryExtrairArq("kelvo.se"));
    reader.IncluirFat("big.bin", 1000000);
    const Status outside = reader.TryExtrairArq("big.bin");
    ExpectFailure(outside, "Error!", "Damaged package: member \"big.bin\" lies outside the file.");
    EXPECT_EQ(outside.What(), Fault::kDamaged);
    EXPECT_FALSE(platform::FileExists("big.bin"));

    // The program's last bytes are zeros: read as a trailer they would make
    // an empty script lying inside the program.
    WriteFile("bare.exe", fakepe::Image());
    ExpectFailure(TApend("bare.exe").TryExtrairArq("kelvo.se"), "Error!",
                  "Damaged package: member \"kelvo.se\" lies inside the program itself.");
    // Behind the image, an empty script is a package like any other.
    WriteFile("empty.exe", Package(fakepe::Image(), {}, {}));
    TApend empty("empty.exe");
    ASSERT_TRUE(empty.TryExtrairArq("kelvo.se"));
    EXPECT_TRUE(ReadFile("kelvo.se").empty());
}

TEST(TApend, AMemberCutInsideAnItemIsDamageAndLeavesNoFile)
{
    TempDir dir;
    const std::vector<uint8_t> member = testdata::Text(5000, 3);
    std::vector<uint8_t> packed = Packed(member);
    WriteFile("setup.exe", Package(testdata::Bytes("stub"), {member}, testdata::Bytes("s")));
    TApend reader("setup.exe");
    ASSERT_TRUE(reader.TryExtrairArq("kelvo.se"));
    // One byte less than the member's size: the last item is cut.
    reader.IncluirFat("skip", 1);
    reader.IncluirFat("cut", static_cast<uint32_t>(packed.size() - 2));
    const Status status = reader.TryExtrairArq("cut");
    EXPECT_EQ(status.What(), Fault::kDamaged);
    EXPECT_FALSE(platform::FileExists("cut"));

    // Whole, but not the size its record states: damage too, and no file.
    TApend again("setup.exe");
    ASSERT_TRUE(again.TryExtrairArq("kelvo.se"));
    again.IncluirFat("sized", static_cast<uint32_t>(packed.size()));
    uint64_t written = 0;
    const Status sized = again.TryExtrairArq("sized", nullptr, member.size() + 1, &written);
    EXPECT_EQ(sized.What(), Fault::kDamaged);
    EXPECT_EQ(written, member.size());
    EXPECT_FALSE(platform::FileExists("sized"));
    ASSERT_TRUE(again.TryExtrairArq("sized", nullptr, member.size()));
    EXPECT_EQ(ReadFile("sized"), member);
}

// Counts the bytes it hears of and stops at a limit.
class FakeProgress : public ProgressHook {
public:
    explicit FakeProgress(uint64_t stopAt) : stopAt_(stopAt) {}
    bool Advance(uint64_t done) override
    {
        EXPECT_GT(done, last);  // always forward
        last = done;
        ++calls;
        return done < stopAt_;
    }
    uint64_t last = 0;
    int calls = 0;

private:
    uint64_t stopAt_;
};

TEST(TApend, ExtractionReportsProgressAndCanBeCanceled)
{
    TempDir dir;
    const std::vector<uint8_t> member = testdata::Generate(3 << 20, 2, 0.5);
    WriteFile("setup.exe", Package(testdata::Bytes("stub"), {member}, testdata::Bytes("s")));
    const auto size = static_cast<uint32_t>(Packed(member).size());
    {
        TApend reader("setup.exe");
        ASSERT_TRUE(reader.TryExtrairArq("kelvo.se"));
        reader.IncluirFat("whole", size);
        FakeProgress hook(UINT64_MAX);
        uint64_t written = 0;
        ASSERT_TRUE(reader.TryExtrairArq("whole", &hook, PackageReader::kAnySize, &written));
        EXPECT_EQ(written, member.size());
        EXPECT_EQ(hook.last, member.size());
        EXPECT_GE(hook.calls, 4);  // block by block, not once at the end
        EXPECT_EQ(ReadFile("whole"), member);
    }
    TApend reader("setup.exe");
    ASSERT_TRUE(reader.TryExtrairArq("kelvo.se"));
    reader.IncluirFat("half", size);
    FakeProgress hook(member.size() / 2);
    EXPECT_TRUE(reader.TryExtrairArq("half", &hook).IsCanceled());
    EXPECT_LT(hook.last, member.size());
    EXPECT_FALSE(platform::FileExists("half"));  // no half file left behind
}

TEST(TApend, FailedWritesAreNotReportedAsSuccess)
{
    if (!FullDisk::Enforced())
        GTEST_SKIP() << "this system does not enforce file size limits";
    TempDir dir;
    WriteFile("setup.exe", Package(testdata::Bytes("stub"), {testdata::Text(90000, 1)}, testdata::Bytes("s")));
    {
        TApend reader("setup.exe");
        ASSERT_TRUE(reader.TryExtrairArq("kelvo.se"));
        reader.IncluirFat("out", static_cast<uint32_t>(Packed(testdata::Text(90000, 1)).size()));
        FullDisk full(4096);
        ExpectFailure(reader.TryExtrairArq("out"), "Error!", "Can't write \"out\"!");
    }
    EXPECT_FALSE(platform::FileExists("out"));
    // The temporary file meets the full disk first: compression fails.
    WriteFile("input", testdata::Text(90000, 1));
    EXPECT_EXIT(
        {
            testing::internal::CaptureStdout();
            FullDisk full(4096);
            TApend("setup.exe").IncluirArq("input");
        },
        ExitedWithCode(1), "Error!: Can't compress \"arq.huf\"!");
}

TEST(PeImage, ReadsMachineSubsystemImageEndAndCertificate)
{
    TempDir dir;
    std::vector<uint8_t> image = fakepe::Image(0x400);
    image.resize(image.size() + 100, 7);  // appended data behind the image
    WriteFile("a.exe", image);
    File file("a.exe", "rb");
    PeImage pe;
    ASSERT_TRUE(pe.Read(file, image.size()));
    EXPECT_EQ(pe.Machine(), 0x14C);
    EXPECT_EQ(pe.Subsystem(), 2);
    EXPECT_EQ(pe.ImageEnd(), 0x600u);
    EXPECT_EQ(pe.CertificateSize(), 0u);
    ASSERT_EQ(pe.Sections().size(), 1u);
    EXPECT_EQ(pe.Sections()[0].rawOffset, 0x200u);
    EXPECT_EQ(pe.Sections()[0].rawSize, 0x400u);
    uint32_t address = 1;
    uint32_t size = 1;
    EXPECT_TRUE(pe.Directory(15, &address, &size));
    EXPECT_EQ(address, 0u);
    EXPECT_FALSE(pe.Directory(16, &address, &size));  // the headers list 16
    EXPECT_EQ(layout::FindPackageBounds(file, image.size()).end, image.size());
    EXPECT_EQ(layout::FindPackageBounds(file, image.size()).imageEnd, 0x600u);

    fakepe::Sign(image, 64);
    WriteFile("b.exe", image);
    File signedFile("b.exe", "rb");
    ASSERT_TRUE(pe.Read(signedFile, image.size()));
    EXPECT_EQ(pe.CertificateOffset(), image.size() - 64);
    EXPECT_EQ(pe.CertificateSize(), 64u);
    EXPECT_TRUE(pe.Directory(4, &address, &size));
    EXPECT_EQ(address, image.size() - 64);
    // Fewer directories listed: the certificates' entry is not read.
    std::vector<uint8_t> few = image;
    fakepe::Put32(few, fakepe::kPeOffset + 24 + 92, 4);
    WriteFile("few.exe", few);
    File fewFile("few.exe", "rb");
    ASSERT_TRUE(pe.Read(fewFile, few.size()));
    EXPECT_EQ(pe.CertificateSize(), 0u);
    EXPECT_FALSE(pe.Directory(4, &address, &size));
    EXPECT_EQ(layout::FindPackageBounds(signedFile, image.size()).end, image.size() - 64);
    // A table that does not reach the end of the file is not a signature.
    image.push_back(0);
    WriteFile("c.exe", image);
    File padded("c.exe", "rb");
    EXPECT_EQ(layout::FindPackageBounds(padded, image.size()).end, image.size());
}

TEST(PeImage, RejectsTruncatedAndForeignHeadersWithoutReadingOutside)
{
    TempDir dir;
    const std::vector<uint8_t> image = fakepe::Image();
    for (size_t cut : {size_t(0), size_t(2), size_t(63), size_t(0x80), size_t(0x90), size_t(0x170), size_t(0x19F)}) {
        const std::vector<uint8_t> part(image.begin(), image.begin() + static_cast<ptrdiff_t>(cut));
        WriteFile("cut.exe", part);
        File file("cut.exe", "rb");
        PeImage pe;
        EXPECT_FALSE(pe.Read(file, part.size())) << "cut at " << cut;
        EXPECT_EQ(layout::FindPackageBounds(file, part.size()).end, part.size());
    }
    std::vector<uint8_t> hostile = image;
    fakepe::Put32(hostile, 0x3C, 0xFFFFFFF0u);  // PE header far beyond the file
    WriteFile("far.exe", hostile);
    File far("far.exe", "rb");
    PeImage pe;
    EXPECT_FALSE(pe.Read(far, hostile.size()));
    for (uint32_t seed = 0; seed < 300; ++seed) {
        std::vector<uint8_t> noisy = image;
        std::mt19937 rng(seed);
        for (int i = 0; i < 6; ++i)
            noisy[rng() % 0x200] = static_cast<uint8_t>(rng());
        WriteFile("noisy.exe", noisy);
        File file("noisy.exe", "rb");
        PeImage any;
        any.Read(file, noisy.size());
        EXPECT_LE(layout::FindPackageBounds(file, noisy.size()).end, noisy.size());
    }
}

class CountingSink : public LzssDecoder::Sink {
public:
    bool Put(const uint8_t* data, size_t size) override
    {
        bytes.insert(bytes.end(), data, data + size);
        return true;
    }
    std::vector<uint8_t> bytes;
};

TEST(PackageReader, LocatesAndDecodesMembersWithoutEndingTheProgram)
{
    TempDir dir;
    const std::vector<std::vector<uint8_t>> members = {testdata::Text(40000, 1), testdata::Generate(9000, 2, 0.5),
                                                       testdata::Text(300, 3)};
    WriteFile("setup.exe", Package(fakepe::Image(), members, testdata::Bytes("#ARQ0 x\r\n")));
    PackageReader reader;
    std::string error;
    ASSERT_TRUE(Succeeded(reader.Open("setup.exe"), &error)) << error;
    EXPECT_EQ(reader.ImageEnd(), 0x400u);
    std::vector<uint8_t> script;
    ASSERT_TRUE(Succeeded(reader.ReadScript(&script), &error)) << error;
    EXPECT_EQ(script, testdata::Bytes("#ARQ0 x\r\n"));
    std::vector<uint32_t> sizes;
    for (const auto& m : members)
        sizes.push_back(static_cast<uint32_t>(Packed(m).size()));
    std::vector<layout::MemberPlace> places;
    ASSERT_TRUE(Succeeded(layout::WalkMembers(reader.Bounds(), reader.ScriptSize(), sizes, &places), &error)) << error;
    std::vector<uint64_t> starts;
    for (const layout::MemberPlace& place : places)
        starts.push_back(place.start);
    EXPECT_EQ(starts[0], 0x400u);
    for (size_t k = 0; k < members.size(); ++k) {
        CountingSink sink;
        PackageReader::Decoded decoded;
        ASSERT_TRUE(Succeeded(reader.Decode(starts[k], sizes[k], sink, &decoded), &error)) << error;
        EXPECT_EQ(sink.bytes, members[k]);
        EXPECT_EQ(decoded.bytesIn, sizes[k]);
        EXPECT_EQ(decoded.bytesOut, members[k].size());
    }
    // From the last member to the first, as the installer reads them, with
    // blocks smaller and larger than the members, and twice in a row.
    for (const size_t block : {size_t(4096), size_t(20000), size_t(1) << 20}) {
        PackageReader backwards(block);
        ASSERT_TRUE(Succeeded(backwards.Open("setup.exe"), &error)) << error;
        for (int round = 0; round < 2; ++round) {
            for (size_t k = members.size(); k-- > 0;) {
                CountingSink sink;
                PackageReader::Decoded decoded;
                ASSERT_TRUE(Succeeded(backwards.Decode(starts[k], sizes[k], sink, &decoded), &error)) << error;
                EXPECT_EQ(sink.bytes, members[k]) << block << " " << k;
            }
        }
    }
    // Sizes that reach in front of the file are refused.
    sizes[0] += 0x401;
    EXPECT_FALSE(Succeeded(layout::WalkMembers(reader.Bounds(), reader.ScriptSize(), sizes, &places), &error));
    EXPECT_EQ(error, layout::PlacementProblem(layout::Placement::kBeforeFile, "#ARQ0"));
}

TEST(PackageReader, ExplainsFilesThatHoldNoPackage)
{
    TempDir dir;
    PackageReader reader;
    std::string error;
    EXPECT_FALSE(Succeeded(reader.Open("missing.exe"), &error));
    EXPECT_NE(error.find("cannot open"), std::string::npos);
    WriteFile("short.exe", std::string("abc"));
    EXPECT_FALSE(Succeeded(reader.Open("short.exe"), &error));
    EXPECT_NE(error.find("too short"), std::string::npos);
    WriteFile("big.exe", std::vector<uint8_t>{'x', 'y', 0x10, 0, 0, 0});
    EXPECT_FALSE(Succeeded(reader.Open("big.exe"), &error));
    EXPECT_NE(error.find("more than the file holds"), std::string::npos);
    // A script cut in the middle of an item.
    std::vector<uint8_t> cut = {0x00, 0x12, 2, 0, 0, 0};
    WriteFile("cut.exe", cut);
    ASSERT_TRUE(Succeeded(reader.Open("cut.exe"), &error)) << error;
    std::vector<uint8_t> script;
    EXPECT_FALSE(Succeeded(reader.ReadScript(&script), &error));
    EXPECT_NE(error.find("middle of an item"), std::string::npos);
}

}  // namespace
