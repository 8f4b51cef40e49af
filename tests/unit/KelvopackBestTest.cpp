// kelvopack build --best: every member and the script parsed optimally, read
// back as the setup program reads them, against a plain build of the same
// project.
#include "CheckedBuild.h"
#include "Lzss.h"
#include "LzssOptimal.h"
#include "PackScratch.h"
#include "ProjectFile.h"
#include "SetupArchive.h"
#include "SetupCheck.h"
#include "SetupWriter.h"
#include "TestData.h"

#include "StatusText.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace {

SetupSummary Build(const std::string& project, const std::string& stub, const std::string& output, bool best,
                   unsigned threads)
{
    SetupSettings settings;
    settings.stub = stub;
    settings.output = output;
    settings.threads = threads;
    settings.best = best;
    return CheckedBuild(LoadProject(project), settings);
}

std::vector<uint8_t> Packed(const std::vector<uint8_t>& bytes, bool best)
{
    std::vector<uint8_t> out(lzss::CompressBound(bytes.size()));
    out.resize(best ? lzss::CompressBest(bytes.data(), bytes.size(), out.data(), out.size())
                    : lzss::Compress(bytes.data(), bytes.size(), out.data(), out.size()));
    return out;
}

// The members and the script of a setup, as the file holds them and decoded.
struct Contents {
    std::vector<std::vector<uint8_t>> packed;
    std::vector<std::vector<uint8_t>> members;
    std::vector<uint8_t> packedScript;
    std::vector<uint8_t> script;
};

Contents Read(const std::string& setup)
{
    Contents c;
    SetupArchive archive;
    std::string error;
    EXPECT_TRUE(archive.Open(setup, &error)) << error;
    EXPECT_TRUE(archive.Problems().empty());
    const std::vector<uint8_t> file = packtest::ReadBytes(setup);
    for (const SetupArchive::Member& m : archive.Members()) {
        const auto from = file.begin() + static_cast<ptrdiff_t>(m.start);
        c.packed.emplace_back(from, from + m.record.TamComp);
        std::vector<uint8_t> out(m.record.TamOrig);
        out.resize(lzss::Decompress(c.packed.back().data(), c.packed.back().size(), out.data(), out.size()));
        c.members.push_back(out);
    }
    EXPECT_TRUE(Succeeded(archive.Reader().ReadScript(&c.script), &error)) << error;
    // The trailer: the compressed script's size, least significant byte first.
    const auto end = file.end() - 4;
    const size_t size = end[0] | end[1] << 8 | end[2] << 16 | static_cast<size_t>(end[3]) << 24;
    c.packedScript.assign(end - static_cast<ptrdiff_t>(size), end);
    const SetupCheckResult check = CheckSetup(setup);
    EXPECT_TRUE(check.problems.empty()) << check.problems.front();
    return c;
}

TEST(KelvopackBest, MembersAndScriptParsedOptimallyDecodeToTheSameFiles)
{
    packtest::Scratch dir;
    const std::string stub = dir.Path("stub.exe");
    packtest::WriteText(stub, "MZ not really a program");
    // A member longer than the encoder's blocks, besides the project's small ones.
    packtest::WriteBytes(dir.Path("big.txt"), testdata::Text(300000, 8));
    const std::string project = packtest::MakeProject(dir, "\n[[file]]\nsource = \"big.txt\"\n");

    // Setups of one name (the script holds it), in folders of their own.
    for (const char* folder : {"plain", "best", "alone"})
        std::filesystem::create_directories(dir.Path(folder));
    const SetupSummary plainSummary = Build(project, stub, dir.Path("plain/setup.exe"), false, 2);
    const SetupSummary bestSummary = Build(project, stub, dir.Path("best/setup.exe"), true, 3);
    Build(project, stub, dir.Path("alone/setup.exe"), true, 1);
    EXPECT_TRUE(packtest::ReadBytes(dir.Path("alone/setup.exe")) == packtest::ReadBytes(dir.Path("best/setup.exe")))
        << "one worker and three give different setups";
    EXPECT_LT(bestSummary.packedBytes, plainSummary.packedBytes);
    EXPECT_LT(bestSummary.setupSize, plainSummary.setupSize);

    const Contents plain = Read(dir.Path("plain/setup.exe"));
    const Contents best = Read(dir.Path("best/setup.exe"));
    ASSERT_EQ(best.members.size(), 8u);
    ASSERT_EQ(plain.members, best.members);
    for (size_t k = 0; k < best.members.size(); ++k) {
        // The plain build keeps the plain coder's bytes; --best takes the
        // optimal encoder's, streamed from the file as from memory.
        EXPECT_EQ(plain.packed[k], Packed(plain.members[k], false)) << "member " << k;
        EXPECT_EQ(best.packed[k], Packed(best.members[k], true)) << "member " << k;
        EXPECT_LE(best.packed[k].size(), plain.packed[k].size()) << "member " << k;
    }
    EXPECT_EQ(plain.packedScript, Packed(plain.script, false));
    EXPECT_EQ(best.packedScript, Packed(best.script, true));
}

}  // namespace
