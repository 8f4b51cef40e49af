// The setup's layout: the display plan, member placement, installed names
// and the uninstall data, as the program and kelvopack both use them.
#include "Crc32.h"
#include "SetupLayout.h"
#include "StatusText.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

using layout::PlanRecord;

PlanRecord Display(const char* arq, uint32_t comp)
{
    return PlanRecord{arq, false, comp};
}

PlanRecord Installed(const char* arq, uint32_t comp)
{
    return PlanRecord{arq, true, comp};
}

// "member:size" per step, "(kept)" when not extracted, "+copy" for copies.
std::string Plan(const std::vector<PlanRecord>& records, const std::string& bitmap, const std::string& presentation,
                 const std::string& agreement)
{
    const std::string roles[3] = {bitmap, presentation, agreement};
    std::string out;
    size_t expected = records.size();
    for (const layout::DisplayStep& s : layout::PlanDisplayFiles(records, roles)) {
        EXPECT_EQ(s.record, --expected);  // every record once, from the last
        out += (s.extract ? s.member : std::string("?")) + ":" + std::to_string(s.size);
        EXPECT_EQ(s.member.find('?') == 0, !s.extract);
        for (const std::string& c : s.copies)
            out += "+" + c;
        out += " ";
        // The roles served, in the order of the names they give.
        std::vector<std::string> names;
        if (s.extract)
            names.push_back(s.member);
        names.insert(names.end(), s.copies.begin(), s.copies.end());
        EXPECT_EQ(s.roles.size(), names.size());
        for (size_t i = 0; i < std::min(names.size(), s.roles.size()); ++i)
            EXPECT_EQ(names[i], layout::kDisplayRoles[s.roles[i]].fixedName);
    }
    return out;
}

TEST(DisplayPlan, EveryRecordIsRegisteredOnceFromTheLastAndEachRoleServedOnce)
{
    const std::vector<PlanRecord> example = {Installed("C:\\App\\app.exe", 372581),
                                             Installed("C:\\App\\app.hlp", 135385),
                                             Installed("C:\\App\\CTLS32.DLL", 86737),
                                             Display("C:\\App\\logo.bmp", 20299),
                                             Display("C:\\App\\readme.txt", 295),
                                             Display("C:\\App\\license.txt", 5163)};
    EXPECT_EQ(Plan(example, "C:\\App\\logo.bmp", "C:\\App\\readme.txt", "C:\\App\\license.txt"),
              "licen.txt:5163 pres.txt:295 kelvo.bmp:20299 ?:86737 ?:135385 ?:372581 ");

    // One record in two or three roles: extracted once, copied for the rest.
    const std::vector<PlanRecord> shared = {Installed("app.exe", 1000), Display("logo.bmp", 300),
                                            Display("text.txt", 40)};
    EXPECT_EQ(Plan(shared, "logo.bmp", "text.txt", "text.txt"), "pres.txt:40+licen.txt kelvo.bmp:300 ?:1000 ");
    EXPECT_EQ(Plan(shared, "text.txt", "logo.bmp", "text.txt"), "kelvo.bmp:40+licen.txt pres.txt:300 ?:1000 ");
    EXPECT_EQ(Plan({Display("all.dat", 77)}, "all.dat", "all.dat", "all.dat"), "kelvo.bmp:77+pres.txt+licen.txt ");

    // A display record anywhere, an unnamed one, a key the script lacks:
    // every member still lies where the package puts it.
    const std::vector<PlanRecord> mixed = {Display("logo.bmp", 6), Installed("a.exe", 10), Display("unnamed.txt", 12),
                                           Display("license.txt", 50)};
    EXPECT_EQ(Plan(mixed, "logo.bmp", "", "license.txt"), "licen.txt:50 ?:12 ?:10 kelvo.bmp:6 ");

    // Exact names; the last record naming a role serves it; a flagged
    // record never serves a role; nothing to plan for nothing.
    const std::vector<PlanRecord> twice = {Display("LOGO.BMP", 5), Display("logo.bmp", 6), Display("logo.bmp", 7),
                                           Installed("logo.bmp", 8)};
    EXPECT_EQ(Plan(twice, "logo.bmp", "", ""), "?:8 kelvo.bmp:7 ?:6 ?:5 ");
    EXPECT_EQ(Plan({}, "x", "y", "z"), "");

    // The names of records not extracted never collide.
    const auto steps = layout::PlanDisplayFiles(twice, {"", "", ""});
    EXPECT_NE(steps[0].member, steps[1].member);
}

TEST(PackageLayout, TrailerAndPlacementCountFromTheEnd)
{
    uint8_t bytes[layout::kTrailerSize];
    layout::EncodeTrailer(371, bytes);
    EXPECT_EQ(std::vector<uint8_t>(bytes, bytes + 4), (std::vector<uint8_t>{0x73, 0x01, 0, 0}));
    layout::EncodeTrailer(0xFEDCBA98u, bytes);
    EXPECT_EQ(layout::DecodeTrailer(bytes), 0xFEDCBA98u);

    // The six-record example: 620 835 bytes, the first member at its start.
    const layout::PackageBounds example{0, 620835};
    uint64_t start = 1;
    EXPECT_EQ(layout::PlaceMember(example, 620835, &start), layout::Placement::kInside);
    EXPECT_EQ(start, 0u);
    EXPECT_EQ(layout::PlaceMember(example, 620836, &start), layout::Placement::kBeforeFile);
    // Behind a program image of 4 096 bytes, a member may not begin inside it.
    const layout::PackageBounds image{4096, 10000};
    EXPECT_EQ(layout::PlaceMember(image, 5904, &start), layout::Placement::kInside);
    EXPECT_EQ(start, 4096u);
    EXPECT_EQ(layout::PlaceMember(image, 5905, &start), layout::Placement::kInImage);
    EXPECT_EQ(layout::PlacementProblem(layout::Placement::kInImage, "kelvo.se"),
              "Damaged package: member \"kelvo.se\" lies inside the program itself.");
    EXPECT_EQ(layout::PlacementProblem(layout::Placement::kBeforeFile, "a"),
              "Damaged package: member \"a\" lies outside the file.");

    // The walk over the example's records, from the last: each offset the
    // sum of the script's and those behind it; one byte more in front and
    // record 0 would begin before the file, which the walk reports by name.
    std::vector<uint32_t> sizes = {372581, 135385, 86737, 20299, 295, 5163};
    std::vector<layout::MemberPlace> places;
    ASSERT_TRUE(layout::WalkMembers(example, 371, sizes, &places));
    const uint64_t indices[] = {620835, 248254, 112869, 26132, 5833, 5538};
    for (size_t k = 0; k < sizes.size(); ++k) {
        EXPECT_TRUE(places[k].walked);
        EXPECT_EQ(places[k].indice, indices[k]) << k;
        EXPECT_EQ(places[k].start, 620835 - indices[k]) << k;
    }
    sizes[1] += 1;
    std::string error;
    EXPECT_FALSE(Succeeded(layout::WalkMembers(example, 371, sizes, &places), &error));
    EXPECT_EQ(error, "Damaged package: member \"#ARQ0\" lies outside the file.");
    EXPECT_TRUE(places[1].walked && places[1].placement == layout::Placement::kInside);
    // From record 2 on only, the records in front are not walked.
    sizes[1] -= 1;
    ASSERT_TRUE(layout::WalkMembers(example, 371, sizes, &places, 2));
    EXPECT_FALSE(places[1].walked);
    EXPECT_EQ(places[2].indice, 112869u);
}

TEST(InstalledNames, StayInsideTheDestinationAndAvoidTheSetupsOwnFiles)
{
    EXPECT_EQ(layout::InstalledName("C:\\KELVO\\bin\\app.exe", 9), "bin\\app.exe");
    EXPECT_EQ(layout::InstalledName("C:\\KELVO\\", 9), "");  // nothing after the cut
    EXPECT_EQ(layout::InstalledName("short", 9), "");

    for (const char* good : {"app.exe", "bin\\app.exe", "a/b.txt", "..name", "name..", "a\\.hidden"})
        EXPECT_TRUE(layout::IsContainedName(good)) << good;
    for (const char* bad : {"", "\\app.exe", "/etc/passwd", "C:\\x", "C:x", "..", "..\\x", "a\\..\\..\\x", "a\\.\\b",
                            "a\\\\b", "a\\", ".", "x/../y"})
        EXPECT_FALSE(layout::IsContainedName(bad)) << bad;

    for (const char* own : {"kelvo.se", "MODO.SE", "Uninstall.S_", "arq.huf"})
        EXPECT_TRUE(layout::IsReservedName(own)) << own;
    EXPECT_FALSE(layout::IsReservedName("sub\\modo.se"));  // only at the destination's top
    EXPECT_FALSE(layout::IsReservedName("uninstall.se"));

    EXPECT_EQ(layout::FoldCase("Straße\xE9\xFF"), "STRAßE\xC9\x9F");
    char bad = 0;
    EXPECT_TRUE(layout::IsCommandSafe("My App 2.0 - Tools & more", &bad));
    for (const char* unsafe : {"a,b", "a(b", "a)b", "a[b", "a]b", "a\"b", "a\tb", "a\x7f"}) {
        EXPECT_FALSE(layout::IsCommandSafe(unsafe, &bad)) << unsafe;
        EXPECT_EQ(bad, unsafe[1]);
    }
}

TEST(RunFolders, OnlyAFolderNamedAsARunFolderCountsAsOne)
{
    EXPECT_EQ(layout::RunFolderName(0x00ab12cdu), "kelvo-00ab12cd");
    EXPECT_TRUE(layout::IsRunFolder("C:\\WINDOWS\\TEMP\\" + layout::RunFolderName(0xffffffffu)));
    EXPECT_TRUE(layout::IsRunFolder("kelvo-00000000"));
    // The uninstaller removes its start folder only when it is one.
    for (const char* other :
         {"C:\\WINDOWS\\TEMP", "C:\\kelvo-\\x", "C:\\TEMP\\kelvo-1234567", "C:\\TEMP\\kelvo-123456789",
          "C:\\TEMP\\kelvo-0000000g", "C:\\TEMP\\Kelvo-00000000", "C:\\kelvo-00000000\\sub", ""})
        EXPECT_FALSE(layout::IsRunFolder(other)) << other;
}

TEST(UninstallData, TwoLinesBackAsTheyWereWritten)
{
    const std::string data = layout::FormatUninstallData("My@App", "C:\\Program Files\\My App\\");
    EXPECT_EQ(data, "My@App\r\nC:\\Program Files\\My App\\");
    std::string group;
    std::string destination;
    std::string error;
    ASSERT_TRUE(Succeeded(layout::ParseUninstallData(data, &group, &destination), &error));
    EXPECT_EQ(group, "My@App");
    EXPECT_EQ(destination, "C:\\Program Files\\My App\\");
    ASSERT_TRUE(Succeeded(layout::ParseUninstallData("G\nD:\\x\\\r\nignored", &group, &destination), &error));
    EXPECT_EQ(destination, "D:\\x\\");

    // Missing or empty lines are damage: nothing may be deleted on them.
    for (const std::string& damaged :
         {std::string(""), std::string("G"), std::string("G\r\n"), std::string("\r\nC:\\x\\"), std::string("G\n\n"),
          std::string("G\n") + std::string(512, 'x'), std::string("G\nC:\\x\0y", 8)}) {
        EXPECT_FALSE(Succeeded(layout::ParseUninstallData(damaged, &group, &destination), &error)) << damaged;
        EXPECT_FALSE(error.empty());
    }
}

}  // namespace

namespace {

TEST(IntegrityRecord, CrcAndRecordComeBackAsWritten)
{
    EXPECT_EQ(Crc32("123456789", 9), 0xCBF43926u);  // the check value of CRC-32
    EXPECT_EQ(Crc32("", 0), 0u);
    std::vector<uint8_t> data(1000);
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<uint8_t>(i * 131 + 7);
    const uint32_t whole = Crc32(data.data(), data.size());
    for (size_t cut : {size_t(0), size_t(1), size_t(7), size_t(8), size_t(333), size_t(999)})
        EXPECT_EQ(Crc32(data.data() + cut, data.size() - cut, Crc32(data.data(), cut)), whole) << cut;
    // Against the sum taken a bit at a time, at every length around the
    // steps the fast one takes, from every alignment.
    for (size_t from = 0; from < 4; ++from) {
        uint32_t bitwise = 0xFFFFFFFFu;
        for (size_t n = 0; n <= 70; ++n) {
            EXPECT_EQ(Crc32(data.data() + from, n), ~bitwise) << from << " " << n;
            bitwise ^= data[from + n];
            for (int bit = 0; bit < 8; ++bit)
                bitwise = (bitwise & 1) != 0 ? (bitwise >> 1) ^ 0xEDB88320u : bitwise >> 1;
        }
    }

    layout::IntegrityRecord record;
    record.packageSize = (uint64_t(5) << 32) + 17;  // past 4 GiB
    record.scriptCrc = 0x12345678;
    record.memberCrcs = {1, 0xFFFFFFFF, 3};
    std::vector<uint8_t> bytes = layout::EncodeIntegrity(record);
    ASSERT_EQ(bytes.size(), layout::IntegrityRecordSize(3));
    uint32_t members = 0;
    ASSERT_TRUE(layout::IntegrityHeader(bytes.data(), &members));
    EXPECT_EQ(members, 3u);
    layout::IntegrityRecord back;
    ASSERT_TRUE(layout::DecodeIntegrity(bytes, &back));
    EXPECT_EQ(back.packageSize, record.packageSize);
    EXPECT_EQ(back.scriptCrc, record.scriptCrc);
    EXPECT_EQ(back.memberCrcs, record.memberCrcs);
    // Any changed byte, a cut or a different version is refused.
    for (size_t i = 8; i < bytes.size(); ++i) {
        std::vector<uint8_t> changed = bytes;
        changed[i] ^= 0x20;
        EXPECT_FALSE(layout::DecodeIntegrity(changed, &back)) << i;
    }
    bytes.pop_back();
    EXPECT_FALSE(layout::DecodeIntegrity(bytes, &back));
    EXPECT_FALSE(layout::IntegrityHeader(reinterpret_cast<const uint8_t*>("KELVOCRX????????"), &members));
}

}  // namespace
