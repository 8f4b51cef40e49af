// Setups written by kelvopack, read back as the setup program reads them:
// layout, script, determinism, and damaged files that must never crash.
#include "CheckedBuild.h"
#include "FakePe.h"
#include "Lzss.h"
#include "NameRules.h"
#include "PackScratch.h"
#include "PackageReader.h"
#include "ProjectCheck.h"
#include "ProjectFile.h"
#include "SetupArchive.h"
#include "SetupCheck.h"
#include "SetupExtractor.h"
#include "ScriptPacker.h"
#include "SetupPlan.h"
#include "SetupWriter.h"
#include "TScript.h"
#include "TestData.h"
#include "ToolError.h"
#include "WorkerCrew.h"

#include "StatusText.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <random>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

using packtest::Scratch;

class KelvopackSetup : public ::testing::Test {
protected:
    void SetUp() override
    {
        stub = dir.Path("stub.exe");
        packtest::WriteText(stub, "MZ not really a program");
    }

    // verify's problems with a hand-made setup of `records`, a line each.
    std::string VerifyProblems(const std::string& head, const std::vector<packtest::HandRecord>& records)
    {
        packtest::PackRecords(dir.Path("hand.exe"), head, records);
        std::string all;
        for (const std::string& p : CheckSetup(dir.Path("hand.exe")).problems)
            all += p + "\n";
        return all;
    }

    // Loads, checks and writes; the check must pass.
    SetupSummary Build(const std::string& project, const std::string& output, unsigned threads = 2,
                       size_t budget = size_t(64) << 20)
    {
        SetupSettings settings;
        settings.stub = stub;
        settings.output = output;
        settings.threads = threads;
        settings.memoryBudget = budget;
        return CheckedBuild(LoadProject(project), settings);
    }

    // Builds the usual project into `output`, opens it in *archive and
    // returns its script's bytes.
    std::vector<uint8_t> BuildAndReadScript(const std::string& output, SetupArchive* archive)
    {
        Build(packtest::MakeProject(dir), output);
        std::string error;
        std::vector<uint8_t> bytes;
        EXPECT_TRUE(archive->Open(output, &error)) << error;
        EXPECT_TRUE(Succeeded(archive->Reader().ReadScript(&bytes), &error)) << error;
        return bytes;
    }

    Scratch dir;
    std::string stub;
};

// Keeps what a decoder hands out.
struct CollectSink : LzssDecoder::Sink {
    std::vector<uint8_t> bytes;
    bool Put(const uint8_t* data, size_t size) override
    {
        bytes.insert(bytes.end(), data, data + size);
        return true;
    }
};

// The member's decoded bytes; false if it does not decode.
bool Decode(SetupArchive& archive, const SetupArchive::Member& m, std::vector<uint8_t>* out)
{
    CollectSink sink;
    PackageReader::Decoded decoded;
    std::string error;
    const bool ok = Succeeded(archive.Reader().Decode(m.start, m.record.TamComp, sink, &decoded), &error);
    *out = std::move(sink.bytes);
    return ok;
}

std::vector<uint8_t> Member(SetupArchive& archive, const SetupArchive::Member& m)
{
    std::vector<uint8_t> bytes;
    EXPECT_TRUE(Decode(archive, m, &bytes));
    return bytes;
}

// The member decoded straight from the file's bytes, by the one-shot codec.
std::vector<uint8_t> MemberFromFile(const std::string& setup, const SetupArchive::Member& m)
{
    const std::vector<uint8_t> file = packtest::ReadBytes(setup);
    std::vector<uint8_t> out(m.record.TamOrig);
    const size_t n = lzss::Decompress(file.data() + m.start, m.record.TamComp, out.data(), out.size());
    EXPECT_NE(n, lzss::kError);
    out.resize(n == lzss::kError ? 0 : n);
    return out;
}

TEST_F(KelvopackSetup, RoundTripKeepsEveryFileAndTheLayout)
{
    const std::string output = dir.Path("setup.exe");
    const SetupSummary summary = Build(packtest::MakeProject(dir), output);
    const std::vector<uint8_t> setup = packtest::ReadBytes(output);
    ASSERT_EQ(setup.size(), summary.setupSize);
    EXPECT_EQ(setup.size() % 8, 0u);
    const std::vector<uint8_t> stubBytes = packtest::ReadBytes(stub);
    ASSERT_TRUE(std::equal(stubBytes.begin(), stubBytes.end(), setup.begin()));
    EXPECT_FALSE(packtest::Exists(PartialName(output)));

    SetupArchive archive;
    std::string error;
    ASSERT_TRUE(archive.Open(output, &error)) << error;
    EXPECT_TRUE(archive.Problems().empty());
    const struct {
        const char* name;
        const char* source;
    } expected[] = {{"app.exe", "bin/app.exe"},
                    {"Docs\\guide\\empty.txt", "docs/guide/empty.txt"},
                    {"Docs\\guide\\start here.txt", "docs/guide/start here.txt"},
                    {"Docs\\readme.txt", "docs/readme.txt"},
                    {"kelvo.bmp", "art/kelvo.bmp"},
                    {"pres.txt", "text/pres.txt"},
                    {"licen.txt", "text/licen.txt"}};
    ASSERT_EQ(archive.Members().size(), 7u);
    uint64_t packed = 0;
    for (size_t k = 0; k < 7; ++k) {
        const SetupArchive::Member& m = archive.Members()[k];
        EXPECT_EQ(m.name, expected[k].name);
        const std::vector<uint8_t> original = packtest::ReadBytes(dir.Path(expected[k].source));
        EXPECT_EQ(Member(archive, m), original) << expected[k].name;
        // The compressed size is the one-shot codec's, byte for byte.
        std::vector<uint8_t> one(lzss::CompressBound(original.size()) + 1);
        EXPECT_EQ(m.record.TamComp, lzss::Compress(original.data(), original.size(), one.data(), one.size()));
        packed += m.record.TamComp;
    }
    // Between the stub and the first member: the integrity record, then
    // nothing but the padding.
    EXPECT_EQ(summary.integrityBytes, 32u + 4 * 7);
    EXPECT_EQ(archive.Members()[0].start, stubBytes.size() + summary.integrityBytes + summary.padding);
    EXPECT_LT(summary.padding, 8u);
    EXPECT_EQ(std::string(setup.begin() + stubBytes.size(), setup.begin() + stubBytes.size() + 8), "KELVOCRC");
    for (uint64_t i = stubBytes.size() + summary.integrityBytes; i < archive.Members()[0].start; ++i)
        EXPECT_EQ(setup[i], 0);
    EXPECT_EQ(packed, summary.packedBytes);

    const SetupCheckResult check = CheckSetup(output);
    EXPECT_TRUE(check.problems.empty()) << check.problems.front();
    EXPECT_EQ(check.members, 7u);
}

TEST_F(KelvopackSetup, ScriptIsLaidOutAsTheSetupExpects)
{
    SetupArchive archive;
    const std::vector<uint8_t> bytes = BuildAndReadScript(dir.Path("demo-setup.exe"), &archive);
    const std::string text(bytes.begin(), bytes.end());
    const auto& m = archive.Members();
    const auto sizes = [&m](size_t k) {
        return std::to_string(m[k].record.TamOrig) + " " + std::to_string(m[k].record.TamComp);
    };
    const std::string expected =
        "#DIR_ORIG C:\\KELVO\\\r\n\r\n"
        "#DIR_DEST C:\\Program Files\\Demo App\\\r\n\r\n"
        "#DIR_ARQ_BMP c:\\Windows\\TEMP\\kelvo.bmp\r\n\r\n"
        "#DIR_ARQ_APRESENTACAO c:\\Windows\\TEMP\\pres.txt\r\n\r\n"
        "#DIR_ARQ_LICENCA c:\\Windows\\TEMP\\licen.txt\r\n\r\n"
        "#DIR_ARQ_MONTAGEM demo-setup.exe\r\n\r\n"
        "#DIR_NOME_GRUPO Demo App\r\n\r\n"
        "#DIR_MODOS_INSTALACAO FTX\r\n\r\n"
        // What only the list of installed programs reads; older setup
        // programs skip these keys.
        "#APP_NAME Demo App\r\n\r\n"
        "#APP_PUBLISHER Kelvo Tests\r\n\r\n"
        "#APP_VERSION 1.2.3\r\n\r\n"
        "#ARQ0 C:\\KELVO\\app.exe Demo@App " +
        sizes(0) +
        " GFTX\r\n\r\n"
        "#ARQ1 C:\\KELVO\\Docs\\guide\\empty.txt _ " +
        sizes(1) +
        " XFXX\r\n\r\n"
        "#ARQ2 C:\\KELVO\\Docs\\guide\\start@here.txt _ " +
        sizes(2) +
        " XFXX\r\n\r\n"
        "#ARQ3 C:\\KELVO\\Docs\\readme.txt _ " +
        sizes(3) +
        " XFXX\r\n\r\n"
        "#ARQ4 c:\\Windows\\TEMP\\kelvo.bmp _ " +
        sizes(4) +
        " XXXX\r\n\r\n"
        "#ARQ5 c:\\Windows\\TEMP\\pres.txt _ " +
        sizes(5) +
        " XXXX\r\n\r\n"
        "#ARQ6 c:\\Windows\\TEMP\\licen.txt _ " +
        sizes(6) + " XXXX\r\n";
    EXPECT_EQ(text, expected);
}

TEST_F(KelvopackSetup, TScriptReadsBackTheProjectsValues)
{
    SetupArchive archive;
    const std::vector<uint8_t> bytes = BuildAndReadScript(dir.Path("setup.exe"), &archive);
    const std::string scriptPath = dir.Path("kelvo.se");
    ASSERT_TRUE(packtest::WriteBytes(scriptPath, bytes));

    TScript script(scriptPath.c_str());
    char value[512];
    script.LerDirOrig(value);
    const std::string orig = value;
    EXPECT_EQ(orig, "C:\\KELVO\\");
    script.LerDirDest(value);
    EXPECT_STREQ(value, "C:\\Program Files\\Demo App\\");
    script.LerNomeGrupo(value);
    EXPECT_STREQ(value, "Demo App");
    script.LerModosInstalacao(value);
    EXPECT_STREQ(value, "FTX");
    script.LerArqMontagem(value);
    EXPECT_STREQ(value, "setup.exe");
    char bmp[512], pres[512], licen[512];
    script.LerArqBMP(bmp);
    script.LerArqApresentacao(pres);
    script.LerArqLicenca(licen);

    // The records as the installer cuts them, and the display files as
    // the start-up matches them.
    const char* const installed[] = {"app.exe", "Docs\\guide\\empty.txt", "Docs\\guide\\start here.txt",
                                     "Docs\\readme.txt"};
    const std::string displayed[] = {bmp, pres, licen};
    script.ZeraIndex();
    for (int k = 0;; ++k) {
        char arq[512];
        char nome[64];
        script.LerArq(arq);
        if (std::string(arq) == "NULL") {
            EXPECT_EQ(k, 7);
            break;
        }
        uint32_t orig32 = 0;
        uint32_t comp32 = 0;
        int g = 0, f = 0, t = 0, m = 0;
        script.LerCamposArq(arq, nome, &orig32, &comp32, &g, &f, &t, &m);
        const SetupArchive::Member& member = archive.Members()[static_cast<size_t>(k)];
        EXPECT_EQ(orig32, member.record.TamOrig);
        EXPECT_EQ(comp32, member.record.TamComp);
        if (k < 4) {
            EXPECT_EQ(std::string(arq).substr(orig.size()), installed[k]);
            EXPECT_EQ(f, 1);
            EXPECT_EQ(t, k == 0 ? 1 : 0);
            EXPECT_EQ(m, 0);
            EXPECT_EQ(g, k == 0 ? 1 : 0);
            EXPECT_STREQ(nome, k == 0 ? "Demo App" : "_");
        } else {
            EXPECT_EQ(std::string(arq), displayed[k - 4]);
            EXPECT_EQ(g + f + t + m, 0);
        }
    }
}

TEST_F(KelvopackSetup, OutputIsTheSameWhateverTheThreadsAndMemory)
{
    // Members of very different sizes, so that workers wait for the writer.
    std::string extra;
    for (int i = 0; i < 12; ++i) {
        const size_t size = i % 4 == 0 ? 600000 : static_cast<size_t>(100 * i);
        packtest::WriteBytes(dir.Path("gen/f" + std::to_string(i) + ".bin"),
                             testdata::Generate(size, static_cast<uint32_t>(i), 0.5));
    }
    extra = "\n[[folder]]\nsource = \"gen\"\npath = \"gen\"\n";
    const std::string project = packtest::MakeProject(dir, extra);
    for (const char* sub : {"a", "b", "c"})
        std::filesystem::create_directory(dir.Path(sub));
    Build(project, dir.Path("a/setup.exe"), 1);
    Build(project, dir.Path("b/setup.exe"), 4, 1);  // every finished chunk waits
    Build(project, dir.Path("c/setup.exe"), 3, 70000);
    const std::vector<uint8_t> a = packtest::ReadBytes(dir.Path("a/setup.exe"));
    ASSERT_FALSE(a.empty());
    EXPECT_EQ(a, packtest::ReadBytes(dir.Path("b/setup.exe")));
    EXPECT_EQ(a, packtest::ReadBytes(dir.Path("c/setup.exe")));
    EXPECT_TRUE(CheckSetup(dir.Path("b/setup.exe")).problems.empty());
}

TEST_F(KelvopackSetup, TheScriptCompressedAsItsRecordsComeIsTheScriptCompressedWhole)
{
    // Records enough for many turns of the packer.
    for (int i = 0; i < 1500; ++i)
        packtest::WriteText(dir.Path("many/file " + std::to_string(i) + ".txt"), std::to_string(i));
    const std::string project = packtest::MakeProject(dir, "[[folder]]\nsource = \"many\"\npath = \"Many\"\n");
    ::Project p = LoadProject(project);
    ASSERT_TRUE(CheckProject(&p, CheckInputs{dir.Path("setup.exe"), std::string()}).empty());
    const SetupPlan plan(p, "setup.exe");
    const size_t records = plan.Records().size();
    std::vector<uint32_t> packed;
    for (size_t k = 0; k < records; ++k)
        packed.push_back(static_cast<uint32_t>(k * 7919 % 100003));
    const std::vector<uint8_t> script = plan.Script(packed);
    // Written as bytes, the script is what rewriting it entry by entry gives.
    ScriptText entries;
    for (const auto& [key, value] : plan.Settings())
        entries.Append(key, value);
    for (size_t k = 0; k < records; ++k) {
        ScriptRecord record = plan.Records()[k].record;
        record.TamComp = packed[k];
        entries.Append(ScriptText::RecordKey(static_cast<int>(k)), ScriptText::FormatRecord(record));
    }
    EXPECT_EQ(script, entries.Bytes());
    std::vector<uint8_t> whole(lzss::CompressBound(script.size()));
    whole.resize(lzss::Compress(script.data(), script.size(), whole.data(), whole.size()));

    // Turns now and then, after every record, or none at all: always the
    // bytes of the script compressed whole.
    for (int way = 0; way < 3; ++way) {
        ScriptPacker packer(plan);
        size_t turns = 0;
        for (size_t k = 0; k < records; ++k) {
            EXPECT_FALSE(packer.Complete());
            packer.Known(k, packed[k]);
            if (way == 1 || (way == 0 && k % 97 == 0))
                while (packer.Step())
                    ++turns;
        }
        EXPECT_EQ(turns > 0, way != 2) << way;
        ASSERT_TRUE(packer.Complete()) << way;
        EXPECT_EQ(packer.Text(), script) << way;
        std::vector<uint8_t> result;
        ASSERT_TRUE(packer.Finish(&result)) << way;
        EXPECT_EQ(result, whole) << way;
        EXPECT_FALSE(packer.Finish(&result)) << "spent";
    }
    // Told half the records, or out of order: refused, the caller compresses
    // the script whole.
    std::vector<uint8_t> result;
    ScriptPacker half(plan);
    for (size_t k = 0; k < records / 2; ++k)
        half.Known(k, packed[k]);
    EXPECT_FALSE(half.Finish(&result));
    ScriptPacker skipped(plan);
    for (size_t k = 0; k < records; ++k)
        skipped.Known(k == 1 ? 2 : k, packed[k]);
    EXPECT_FALSE(skipped.Complete());
    EXPECT_FALSE(skipped.Finish(&result));
    EXPECT_TRUE(result.empty());
}

TEST_F(KelvopackSetup, PaddingMakesEveryLengthAMultipleOfEight)
{
    const std::string project = packtest::MakeProject(dir);
    for (size_t stubSize = 0; stubSize < 9; ++stubSize) {
        packtest::WriteBytes(stub, std::vector<uint8_t>(stubSize, 0xAB));
        const std::string output = dir.Path("setup" + std::to_string(stubSize) + ".exe");
        const SetupSummary summary = Build(project, output);
        EXPECT_EQ(packtest::ReadBytes(output).size() % 8, 0u) << stubSize;
        EXPECT_EQ(summary.stubSize, stubSize);
        EXPECT_TRUE(CheckSetup(output).problems.empty()) << stubSize;
    }
}

TEST_F(KelvopackSetup, AFailedBuildLeavesNothingBehind)
{
    const std::string project = packtest::MakeProject(dir);
    ::Project p = LoadProject(project);
    const std::string output = dir.Path("setup.exe");
    ASSERT_TRUE(CheckProject(&p, CheckInputs{output, std::string()}).empty());
    packtest::WriteText(output, "an older setup");
    SetupSettings settings;
    settings.stub = stub;
    settings.output = output;
    const SetupPlan plan(p, "setup.exe");

    // A file that grew after it was measured.
    packtest::WriteText(dir.Path("docs/readme.txt"), "Read me, and more besides.\r\n");
    try {
        WriteSetup(plan, settings);
        ADD_FAILURE() << "no error";
    } catch (const ToolError& e) {
        EXPECT_NE(std::string(e.what()).find("docs/readme.txt\" grew"), std::string::npos) << e.what();
    }
    // A file that went away.
    std::filesystem::remove(dir.Path("bin/app.exe"));
    try {
        WriteSetup(plan, settings);
        ADD_FAILURE() << "no error";
    } catch (const ToolError& e) {
        EXPECT_NE(std::string(e.what()).find("bin/app.exe\": cannot open"), std::string::npos) << e.what();
    }
    EXPECT_EQ(packtest::ReadText(output), "an older setup");
    EXPECT_FALSE(packtest::Exists(PartialName(output)));
}

TEST_F(KelvopackSetup, TheNewSetupTakesTheOldOnesNameAndNothingElse)
{
    const std::string project = packtest::MakeProject(dir);
    ::Project p = LoadProject(project);
    const std::string output = dir.Path("setup.exe");
    ASSERT_TRUE(CheckProject(&p, CheckInputs{output, std::string()}).empty());
    SetupSettings settings;
    settings.stub = stub;
    settings.output = output;
    const SetupPlan plan(p, "setup.exe");

    packtest::WriteText(output, "an older setup");
    WriteSetup(plan, settings);
    EXPECT_TRUE(CheckSetup(output).problems.empty());
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path("")))
        names.push_back(entry.path().filename().string());
    EXPECT_EQ(std::count_if(names.begin(), names.end(),
                            [](const std::string& n) { return n.compare(0, 9, "setup.exe") == 0; }),
              1);

    // A folder by the setup's name is never moved aside, nor what it holds.
    const std::string folder = dir.Path("folder.exe");
    std::filesystem::create_directory(folder);
    packtest::WriteText(folder + "/notes.txt", "the user's");
    settings.output = folder;
    EXPECT_THROW(WriteSetup(plan, settings), ToolError);
    EXPECT_EQ(packtest::ReadText(folder + "/notes.txt"), "the user's");
    EXPECT_FALSE(packtest::Exists(PartialName(folder)));
    EXPECT_FALSE(packtest::Exists(PartialName(folder) + ".old"));
}

// Checks a damaged setup: opening, the script, every record and member.
// The sanitizers catch what a crash would not show. Returns the number of
// problems found.
size_t ReadDamaged(const std::string& path)
{
    return CheckSetup(path).problems.size();
}

TEST_F(KelvopackSetup, DamagedSetupsAreReportedAndNeverCrash)
{
    // A small package keeps the many variants quick.
    packtest::WriteBytes(dir.Path("bin/app.exe"), testdata::Text(3000, 7));
    const std::string output = dir.Path("setup.exe");
    Build(packtest::MakeProject(dir), output);
    const std::vector<uint8_t> good = packtest::ReadBytes(output);
    ASSERT_EQ(ReadDamaged(output), 0u);
    const std::string bad = dir.Path("bad.exe");
    const size_t stubSize = packtest::ReadBytes(stub).size();

    // Cut short anywhere in the package.
    for (size_t cut = 1; cut + stubSize < good.size(); cut += (cut < 8 ? 1 : 131)) {
        packtest::WriteBytes(bad, std::vector<uint8_t>(good.begin(), good.end() - static_cast<std::ptrdiff_t>(cut)));
        EXPECT_GT(ReadDamaged(bad), 0u) << "cut " << cut;
    }
    // Bytes appended, zeros or not.
    for (size_t extra = 1; extra <= 9; ++extra) {
        for (const uint8_t fill : {uint8_t(0), uint8_t(0xFF)}) {
            std::vector<uint8_t> padded = good;
            padded.insert(padded.end(), extra, fill);
            packtest::WriteBytes(bad, padded);
            EXPECT_GT(ReadDamaged(bad), 0u) << "extra " << extra << " fill " << int(fill);
        }
    }
    // Single bits flipped: always reported in the trailer; elsewhere a
    // changed literal may decode to different bytes of the same length,
    // which no check of this format can see, but nothing may crash.
    std::mt19937 rng(11);
    size_t reported = 0;
    size_t flips = 0;
    for (size_t at = stubSize; at < good.size(); at += at + 8 >= good.size() ? 1 : 1 + rng() % 61) {
        std::vector<uint8_t> flipped = good;
        flipped[at] ^= static_cast<uint8_t>(1u << (rng() % 8));
        packtest::WriteBytes(bad, flipped);
        const size_t problems = ReadDamaged(bad);
        if (at >= good.size() - 4) {
            EXPECT_GT(problems, 0u) << "trailer byte " << at;
        }
        reported += problems > 0 ? 1 : 0;
        ++flips;
    }
    EXPECT_GT(reported, flips / 4);
}

TEST_F(KelvopackSetup, ArbitraryFilesAreReportedAsNoSetup)
{
    for (const std::vector<uint8_t>& bytes :
         {std::vector<uint8_t>{}, std::vector<uint8_t>{1, 2, 3}, std::vector<uint8_t>{0, 0, 0, 0},
          testdata::Generate(5000, 3, 0.0), packtest::ReadBytes(stub)}) {
        packtest::WriteBytes(dir.Path("x.exe"), bytes);
        EXPECT_GT(ReadDamaged(dir.Path("x.exe")), 0u) << bytes.size();
    }
    EXPECT_GT(ReadDamaged(dir.Path("missing.exe")), 0u);
}

const char kHandHead[] =
    "#DIR_ORIG C:\\K\\\r\n\r\n#DIR_DEST C:\\D\\\r\n\r\n"
    "#DIR_ARQ_BMP c:\\b\\kelvo.bmp\r\n\r\n#DIR_ARQ_APRESENTACAO c:\\b\\pres.txt\r\n\r\n"
    "#DIR_ARQ_LICENCA c:\\b\\licen.txt\r\n\r\n#DIR_NOME_GRUPO G\r\n\r\n"
    "#DIR_MODOS_INSTALACAO FXX\r\n\r\n";
const char kHandDisplay[] =
    "#ARQ2 c:\\b\\kelvo.bmp _ 2 3 XXXX\r\n\r\n#ARQ3 c:\\b\\pres.txt _ 1 2 XXXX\r\n\r\n"
    "#ARQ4 c:\\b\\licen.txt _ 1 2 XXXX\r\n";

TEST_F(KelvopackSetup, ExtractionNeverLeavesItsFolder)
{
    const std::string path = dir.Path("hand.exe");
    std::filesystem::create_directory(dir.Path("x"));
    for (const char* evil : {"..\\evil", "\\evil", "a\\..\\..\\evil", "D:evil"}) {
        packtest::PackByHand(path,
                             std::string(kHandHead) + "#ARQ0 C:\\K\\" + evil +
                                 " _ 2 3 XFXX\r\n\r\n#ARQ1 C:\\K\\b _ 2 3 XFXX\r\n\r\n" + kHandDisplay,
                             {"aa", "bb", "BM", "p", "l"});
        SetupArchive archive;
        std::string error;
        ASSERT_TRUE(archive.Open(path, &error)) << error;
        SetupExtractor extractor(archive, dir.Path("x"));
        std::string shown;
        EXPECT_FALSE(extractor.Extract(archive.Members()[0], archive.Members()[0].name, &shown, &error)) << evil;
        EXPECT_NE(error.find("refused"), std::string::npos) << evil;
        EXPECT_TRUE(extractor.Extract(archive.Members()[1], archive.Members()[1].name, &shown, &error)) << error;
        EXPECT_EQ(shown, "b");
    }
    EXPECT_FALSE(packtest::Exists(dir.Path("evil")));
    EXPECT_FALSE(packtest::Exists("/evil"));
    EXPECT_EQ(packtest::ReadText(dir.Path("x/b")), "bb");
}

TEST_F(KelvopackSetup, VerifySaysWhatTheSetupWillDo)
{
    using packtest::HandRecord;
    const std::string head = kHandHead;
    const HandRecord a{"C:\\K\\a", "XFXX", "aa"};
    const HandRecord b{"C:\\K\\b", "XFXX", "bb"};
    const HandRecord bmp{"c:\\b\\kelvo.bmp", "XXXX", "BM"};
    const HandRecord pres{"c:\\b\\pres.txt", "XXXX", "p"};
    const HandRecord licen{"c:\\b\\licen.txt", "XXXX", "l"};
    EXPECT_EQ(VerifyProblems(head, {a, b, bmp, pres, licen}), "");

    // What start-up handles: display records anywhere, a record without
    // flags that no key names, a second record for a role (the last one
    // serves), one record serving two roles (extracted once, then copied).
    EXPECT_EQ(VerifyProblems(head, {bmp, a, pres, b, licen}), "");
    EXPECT_EQ(VerifyProblems(head, {a, {"c:\\b\\spare.txt", "XXXX", "s"}, bmp, pres, licen}), "");
    EXPECT_EQ(VerifyProblems(head, {a, {"c:\\b\\pres.txt", "XXXX", "old"}, bmp, pres, licen}), "");
    std::string shared = head;
    shared.replace(shared.find("c:\\b\\licen.txt"), 14, "c:\\b\\pres.txt");
    EXPECT_EQ(VerifyProblems(shared, {a, bmp, pres}), "");

    // A role that no record without flags serves shows nothing.
    EXPECT_EQ(VerifyProblems(head, {a, bmp, pres}),
              "#DIR_ARQ_LICENCA \"c:\\b\\licen.txt\" names no display record (a record without flags): the setup "
              "shows no agreement text\n");
    EXPECT_NE(
        VerifyProblems(head, {a, bmp, pres, {"c:\\b\\licen.txt", "XFXX", "l"}}).find("the setup shows no agreement"),
        std::string::npos);
    std::string noBitmap = head;
    noBitmap.erase(noBitmap.find("#DIR_ARQ_BMP"), noBitmap.find("#DIR_ARQ_APRES") - noBitmap.find("#DIR_ARQ_BMP"));
    EXPECT_EQ(VerifyProblems(noBitmap, {a, pres, licen}),
              "the script has no #DIR_ARQ_BMP: the setup shows no bitmap\n");

    // Names the installer refuses.
    EXPECT_NE(VerifyProblems(head, {{"C:\\K\\..\\evil", "XFXX", "e"}, bmp, pres, licen})
                  .find("outside the destination folder"),
              std::string::npos);
    EXPECT_EQ(VerifyProblems(head, {{"C:\\K\\MODO.SE", "XFXX", "U"}, bmp, pres, licen}),
              "#ARQ0 (\"C:\\K\\MODO.SE\"): \"MODO.SE\" is a name the setup uses for itself\n");
    // Two records under one name, letter case aside, in a mode that
    // installs both; in modes that never install both they are no clash.
    std::string modes = head;
    modes.replace(modes.find("FXX"), 3, "FTM");
    EXPECT_EQ(VerifyProblems(modes, {a, {"C:\\K\\A", "XXTX", "AA"}, bmp, pres, licen}), "");
    EXPECT_EQ(VerifyProblems(modes, {{"C:\\K\\a", "XFTM", "aa"}, b, {"C:\\K\\A", "XFXM", "AA"}, bmp, pres, licen}),
              "#ARQ2 (\"C:\\K\\A\"): the setup would install it under the same name as #ARQ0 (\"C:\\K\\a\"), \"A\" "
              "(letter case aside), and so refuses to install in the Full and Minimal modes\n");
    EXPECT_NE(VerifyProblems(head, {a, a, bmp, pres, licen})
                  .find("#ARQ1 (\"C:\\K\\a\"): the setup would install it under "
                        "the same name as #ARQ0 (\"C:\\K\\a\"), \"a\", and so "
                        "refuses to install in the Full mode\n"),
              std::string::npos);

    // Members that do not hold what their records say.
    const std::string display = kHandDisplay;
    const std::vector<std::string> bodies = {"aa", "bb", "BM", "p", "l"};
    const auto raw = [&](const std::string& script) {
        packtest::PackByHand(dir.Path("hand.exe"), script, bodies);
        std::string all;
        for (const std::string& p : CheckSetup(dir.Path("hand.exe")).problems)
            all += p + "\n";
        return all;
    };
    EXPECT_NE(raw(head + "#ARQ0 C:\\K\\a _ 2 3 XFXX\r\n\r\n#ARQ1 C:\\K\\b _ 3 3 XFXX\r\n\r\n" + display)
                  .find("decodes to 2 bytes, the record says 3"),
              std::string::npos);
    EXPECT_NE(raw(head + "#ARQ0 C:\\K\\a _ 2 3 XFXX\r\n\r\n#ARQ1 C:\\K\\b _ 2 x XFXX\r\n\r\n" + display).find("#ARQ1"),
              std::string::npos);
}

TEST_F(KelvopackSetup, VerifyRefusesTheNamesTheInstallerRefuses)
{
    using packtest::HandRecord;
    const HandRecord bmp{"c:\\b\\kelvo.bmp", "XXXX", "BM"};
    const HandRecord pres{"c:\\b\\pres.txt", "XXXX", "p"};
    const HandRecord licen{"c:\\b\\licen.txt", "XXXX", "l"};
    const std::string head = kHandHead;
    EXPECT_EQ(VerifyProblems(head, {{"C:\\K\\CON", "XFXX", "c"}, bmp, pres, licen}),
              "#ARQ0 (\"C:\\K\\CON\"): \"CON\" " + names::WhyNotRecordPath("CON") + "\n");
    EXPECT_NE(
        VerifyProblems(head, {{"C:\\K\\sub\\nul.txt", "XFXX", "n"}, bmp, pres, licen}).find("reserves for a device"),
        std::string::npos);
    // A program item's title that the installer would refuse.
    HandRecord item{"C:\\K\\app.exe", "GFXX", "a", "CON"};
    EXPECT_EQ(VerifyProblems(head, {item, bmp, pres, licen}),
              "#ARQ0 (\"C:\\K\\app.exe\"): the item title \"CON\" " + names::WhyNotItemTitle("CON") + "\n");
    // The script's own group, as start-up refuses it.
    std::string group = head;
    group.replace(group.find("#DIR_NOME_GRUPO G"), 17, "#DIR_NOME_GRUPO My Apps.");
    EXPECT_EQ(VerifyProblems(group, {{"C:\\K\\a", "XFXX", "a"}, bmp, pres, licen}),
              "#DIR_NOME_GRUPO \"My Apps.\" " + names::WhyNotGroupName("My Apps.") + "\n");
}

// Every file under `folder`, relative, with its bytes as text.
std::map<std::string, std::string> Tree(const std::string& folder)
{
    std::map<std::string, std::string> files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
        if (entry.is_regular_file())
            files[std::filesystem::relative(entry.path(), folder).generic_string()] = packtest::ReadText(
                entry.path().string());
    }
    return files;
}

TEST_F(KelvopackSetup, ExtractWritesEveryFileOnceAsTheSetupLeavesIt)
{
    // Three records for one file on Windows, an installed file named like a
    // display file, and one text serving as presentation and agreement.
    std::string head = kHandHead;
    head.replace(head.find("c:\\b\\pres.txt"), 13, "c:\\b\\text.txt");
    head.replace(head.find("c:\\b\\licen.txt"), 14, "c:\\b\\text.txt");
    const std::string setup = dir.Path("hand.exe");
    packtest::PackRecords(setup, head,
                          {{"C:\\K\\docs\\a.txt", "XFXX", "first"},
                           {"C:\\K\\Docs\\A.TXT", "XFXX", "second"},
                           {"C:\\K\\docs\\a.txt", "XFXX", "third"},
                           {"C:\\K\\pres.txt", "XFXX", "installed"},
                           {"C:\\K\\b.txt", "XFXX", "bee"},
                           {"c:\\b\\kelvo.bmp", "XXXX", "BM"},
                           {"c:\\b\\text.txt", "XXXX", "shown twice"}});
    SetupArchive archive;
    std::string error;
    ASSERT_TRUE(archive.Open(setup, &error)) << error;
    const SetupArchive::Member& text = archive.Members()[6];
    EXPECT_EQ(text.name, "pres.txt");
    EXPECT_EQ(text.copies, std::vector<std::string>{"licen.txt"});
    EXPECT_EQ(text.roles, (std::vector<int>{1, 2}));
    EXPECT_EQ(archive.Members()[1].name, "Docs\\A.TXT");

    const std::map<std::string, std::string> expected = {{"docs/a.txt", "first"},
                                                         {"pres.txt", "installed"},
                                                         {"b.txt", "bee"},
                                                         {"kelvo.bmp", "BM"},
                                                         {"licen.txt", "shown twice"}};
    std::vector<size_t> all(archive.Members().size());
    for (size_t k = 0; k < all.size(); ++k)
        all[k] = k;
    for (const unsigned jobs : {1u, 2u, 8u}) {
        const std::string out = dir.Path("out" + std::to_string(jobs));
        std::filesystem::create_directory(out);
        const std::vector<ExtractOutcome> outcomes = ExtractMembers(archive, out, all, jobs);
        EXPECT_EQ(Tree(out), expected) << jobs << " jobs";
        std::string refused;
        for (const ExtractOutcome& o : outcomes) {
            if (!o.error.empty())
                refused += std::to_string(o.member) + " " + o.shown + ": " + o.error + "\n";
        }
        EXPECT_EQ(refused,
                  "1 Docs/A.TXT: not extracted: #ARQ0 (\"C:\\K\\docs\\a.txt\") goes to the same name on Windows "
                  "(letter case aside) and comes first, so its file is the one the setup leaves there\n"
                  "2 docs/a.txt: not extracted: #ARQ0 (\"C:\\K\\docs\\a.txt\") goes to the same name and comes "
                  "first, so its file is the one the setup leaves there\n"
                  "6 pres.txt: not extracted: #ARQ3 (\"C:\\K\\pres.txt\") goes to the same name and comes first, "
                  "so its file is the one the setup leaves there\n")
            << jobs << " jobs";
        ASSERT_EQ(outcomes.size(), 8u);
        EXPECT_EQ(outcomes[7].shown, "licen.txt");  // the copy's name, decoded into directly
        EXPECT_EQ(outcomes[7].error, "");
    }
}

TEST_F(KelvopackSetup, AMemberTheSetupNeverExtractsHasNoName)
{
    // A record without flags that no display key names: start-up registers
    // it under no file name, and the installer skips it.
    const std::string setup = dir.Path("hand.exe");
    packtest::PackRecords(setup, kHandHead,
                          {{"C:\\K\\a", "XFXX", "aa"},
                           {"c:\\b\\spare.txt", "XXXX", "s"},
                           {"c:\\b\\kelvo.bmp", "XXXX", "BM"},
                           {"c:\\b\\pres.txt", "XXXX", "p"},
                           {"c:\\b\\licen.txt", "XXXX", "l"}});
    SetupArchive archive;
    std::string error;
    ASSERT_TRUE(archive.Open(setup, &error)) << error;
    const auto& members = archive.Members();
    ASSERT_EQ(members.size(), 5u);
    EXPECT_EQ(members[0].Names(), std::vector<std::string>{"a"});
    EXPECT_TRUE(members[1].Names().empty());
    EXPECT_EQ(members[3].Names(), std::vector<std::string>{"pres.txt"});

    const std::string out = dir.Path("out");
    std::filesystem::create_directory(out);
    const std::vector<ExtractOutcome> outcomes = ExtractMembers(archive, out, {0, 1, 2, 3, 4}, 2);
    ASSERT_EQ(outcomes.size(), 4u);
    for (const ExtractOutcome& o : outcomes) {
        EXPECT_NE(o.member, 1u);
        EXPECT_EQ(o.error, "") << o.shown;
    }
    EXPECT_EQ(Tree(out), (std::map<std::string, std::string>{
                             {"a", "aa"}, {"kelvo.bmp", "BM"}, {"pres.txt", "p"}, {"licen.txt", "l"}}));
}

// Throws, or stops, once a member has given more than `after` bytes.
class FailingHook : public ProgressHook {
public:
    enum class Kind { kOutOfMemory, kException, kStop };
    FailingHook(Kind kind, uint64_t after) : kind_(kind), after_(after) {}
    bool Advance(uint64_t done) override
    {
        if (done <= after_)
            return true;
        if (kind_ == Kind::kOutOfMemory)
            throw std::bad_alloc();
        if (kind_ == Kind::kException)
            throw std::runtime_error("the disk is on fire");
        return false;
    }

private:
    Kind kind_;
    uint64_t after_;
};

TEST_F(KelvopackSetup, AFailureInAnExtractWorkerFailsItsMemberOnly)
{
    // Only the application (70 000 bytes) grows past 1000 bytes.
    const std::string output = dir.Path("setup.exe");
    Build(packtest::MakeProject(dir), output);
    SetupArchive archive;
    std::string error;
    ASSERT_TRUE(archive.Open(output, &error)) << error;
    std::vector<ExtractTask> tasks;
    for (size_t k = 0; k < archive.Members().size(); ++k)
        tasks.push_back({k, {archive.Members()[k].name}});
    const struct {
        FailingHook::Kind kind;
        const char* message;
    } cases[] = {{FailingHook::Kind::kOutOfMemory, "out of memory"},
                 {FailingHook::Kind::kException, "the disk is on fire"},
                 {FailingHook::Kind::kStop, "stopped"}};
    for (const auto& c : cases) {
        for (const unsigned jobs : {1u, 3u}) {
            const std::string out = dir.Path("out-" + std::string(c.message) + "-" + std::to_string(jobs));
            std::filesystem::create_directory(out);
            FailingHook hook(c.kind, 1000);
            const std::vector<ExtractOutcome> outcomes = ExtractMembers(archive, out, tasks, jobs, &hook);
            ASSERT_EQ(outcomes.size(), 7u);
            EXPECT_EQ(outcomes[0].shown, "app.exe");
            EXPECT_EQ(outcomes[0].error, c.message);
            // Nothing half-written; every other member whole.
            EXPECT_FALSE(packtest::Exists(out + "/app.exe")) << c.message;
            for (size_t k = 1; k < outcomes.size(); ++k)
                EXPECT_EQ(outcomes[k].error, "") << c.message << " " << outcomes[k].shown;
            EXPECT_EQ(packtest::ReadText(out + "/licen.txt"), packtest::ReadText(dir.Path("text/licen.txt")));
            EXPECT_EQ(Tree(out).size(), 6u) << c.message;
        }
    }
}

TEST(KelvopackWorkers, WhatEscapesAWorkerBecomesAMessage)
{
    std::mutex mutex;
    std::vector<std::string> messages;
    const auto keep = [&](const std::string& message) {
        std::lock_guard<std::mutex> lock(mutex);
        messages.push_back(message);
    };
    std::atomic<int> done{0};
    {
        WorkerCrew crew(keep);
        crew.Start([] { throw std::bad_alloc(); });
        crew.Start([] { throw std::runtime_error("the disk is on fire"); });
        crew.Start([] { throw 42; });
        crew.Start([&done, seven = std::make_unique<int>(7)] { done += *seven; });  // move-only work
        crew.Start([&done] { done += 1; });
        crew.Join();
        EXPECT_EQ(done.load(), 8);
    }
    std::sort(messages.begin(), messages.end());
    EXPECT_EQ(messages, (std::vector<std::string>{"out of memory", "the disk is on fire", "unexpected failure"}));

    // A handler that cannot take the message (memory is exhausted) is told
    // once more, in words that need no memory.
    messages.clear();
    {
        WorkerCrew crew([&](const std::string& message) {
            if (message != "out of memory")
                throw std::bad_alloc();
            keep(message);
        });
        crew.Start([] { throw std::length_error("a very long explanation"); });
    }
    EXPECT_EQ(messages, std::vector<std::string>{"out of memory"});

    // The owner's failure never leaves a worker running unjoined.
    std::atomic<bool> finished{false};
    try {
        WorkerCrew crew(keep);
        crew.Start([&finished] {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            finished = true;
        });
        throw std::runtime_error("the owner fails");
    } catch (const std::runtime_error&) {
    }
    EXPECT_TRUE(finished.load());
}

}  // namespace

namespace {

TEST_F(KelvopackSetup, ReaderDecodesAlikeWhateverItsBlockSize)
{
    std::string extra = "\n[[folder]]\nsource = \"gen\"\n";
    for (int i = 0; i < 5; ++i)
        packtest::WriteBytes(dir.Path("gen/g" + std::to_string(i)), testdata::Generate(3000 + 1500 * i, i, 0.7));
    const std::string output = dir.Path("setup.exe");
    Build(packtest::MakeProject(dir, extra), output);
    SetupArchive archive;
    std::string error;
    ASSERT_TRUE(archive.Open(output, &error)) << error;
    // Blocks so small that items are cut at every boundary, and members met
    // out of order, which makes the stream seek back.
    for (const size_t block : {size_t(4), size_t(5), size_t(17), size_t(4096), size_t(1) << 20}) {
        PackageReader stream(block);
        ASSERT_TRUE(Succeeded(stream.Open(output.c_str()), &error)) << error;
        std::vector<size_t> order(archive.Members().size());
        for (size_t k = 0; k < order.size(); ++k)
            order[k] = (k * 5) % order.size();
        for (const size_t k : order) {
            const SetupArchive::Member& m = archive.Members()[k];
            CollectSink sink;
            PackageReader::Decoded decoded;
            ASSERT_TRUE(Succeeded(stream.Decode(m.start, m.record.TamComp, sink, &decoded), &error)) << error;
            EXPECT_EQ(decoded.bytesIn, m.record.TamComp);
            EXPECT_EQ(sink.bytes, MemberFromFile(output, m)) << "block " << block << " member " << k;
        }
        PackageReader::Decoded decoded;
        struct Nothing : LzssDecoder::Sink {
            bool Put(const uint8_t*, size_t) override { return true; }
        } nothing;
        EXPECT_FALSE(Succeeded(stream.Decode(archive.Reader().End() - 2, 3, nothing, &decoded), &error));
        EXPECT_NE(error.find("outside"), std::string::npos);
    }
}

}  // namespace

namespace {

// Problems verify finds in `setup` after `damage` changed its bytes.
std::vector<std::string> VerifyAfter(const std::string& setup, const std::string& copy,
                                     const std::function<void(std::vector<uint8_t>&)>& damage)
{
    std::vector<uint8_t> bytes = packtest::ReadBytes(setup);
    damage(bytes);
    packtest::WriteBytes(copy, bytes);
    return CheckSetup(copy).problems;
}

bool Mentions(const std::vector<std::string>& problems, const std::string& part)
{
    return std::any_of(problems.begin(), problems.end(),
                       [&](const std::string& p) { return p.find(part) != std::string::npos; });
}

}  // namespace

TEST_F(KelvopackSetup, TheIntegrityRecordNamesTheDamagedPart)
{
    packtest::WriteBytes(stub, fakepe::Image());
    const std::string output = dir.Path("setup.exe");
    const SetupSummary summary = Build(packtest::MakeProject(dir), output);
    SetupCheckResult intact = CheckSetup(output);
    ASSERT_TRUE(intact.problems.empty()) << intact.problems.front();
    EXPECT_EQ(intact.integrity, IntegrityReport::State::kIntact);

    SetupArchive archive;
    std::string error;
    ASSERT_TRUE(archive.Open(output, &error)) << error;
    const uint64_t member2 = archive.Members()[2].start;
    const uint64_t script = archive.Reader().ScriptStart();
    const std::string copy = dir.Path("damaged.exe");
    // A flipped byte inside a member decodes to bytes of the right length:
    // only the checksum sees it, and names the member.
    auto problems = VerifyAfter(output, copy, [&](std::vector<uint8_t>& b) { b[member2 + 1] ^= 0x01; });
    EXPECT_TRUE(Mentions(problems, "member 2 (#ARQ2)")) << problems.front();
    EXPECT_FALSE(Mentions(problems, "member 1 "));
    problems = VerifyAfter(output, copy, [&](std::vector<uint8_t>& b) { b[script + 3] ^= 0x40; });
    EXPECT_TRUE(Mentions(problems, "the setup script"));
    problems = VerifyAfter(output, copy, [&](std::vector<uint8_t>& b) { b[summary.stubSize + 30] ^= 0x10; });
    EXPECT_TRUE(Mentions(problems, "the integrity record"));
    // Cut short in front of the package (a download missing its middle).
    problems = VerifyAfter(output, copy, [&](std::vector<uint8_t>& b) {
        b.erase(b.begin() + static_cast<std::ptrdiff_t>(member2),
                b.begin() + static_cast<std::ptrdiff_t>(member2) + 16);
    });
    EXPECT_FALSE(problems.empty());
    // Without the record (an older builder's setup) nothing is claimed.
    problems = VerifyAfter(output, copy, [&](std::vector<uint8_t>& b) { b[summary.stubSize] = 'X'; });
    EXPECT_TRUE(problems.empty()) << problems.front();
    EXPECT_EQ(CheckSetup(copy).integrity, IntegrityReport::State::kAbsent);
}

TEST_F(KelvopackSetup, TheIntegrityRecordSumsAMemberOfManyChunks)
{
    // Over 3 MiB that do not compress: the member leaves its worker in
    // several chunks, whose sums must run on from one to the next.
    packtest::WriteBytes(stub, fakepe::Image());
    packtest::WriteBytes(dir.Path("big/big.bin"), testdata::Generate(size_t(3) << 20, 7, 0.0));
    const std::string project = packtest::MakeProject(dir, "\n[[folder]]\nsource = \"big\"\npath = \"big\"\n");
    const std::string output = dir.Path("setup.exe");
    Build(project, output, 3, 1);
    const SetupCheckResult intact = CheckSetup(output);
    ASSERT_TRUE(intact.problems.empty()) << intact.problems.front();
    EXPECT_EQ(intact.integrity, IntegrityReport::State::kIntact);

    SetupArchive archive;
    std::string error;
    ASSERT_TRUE(archive.Open(output, &error)) << error;
    const auto& members = archive.Members();
    const auto big = std::find_if(members.begin(), members.end(),
                                  [](const SetupArchive::Member& m) { return m.name == "big\\big.bin"; });
    ASSERT_NE(big, members.end());
    ASSERT_GT(big->record.TamComp, size_t(3) << 20);
    const std::string k = std::to_string(big - members.begin());
    // A byte in the last chunk.
    const auto problems = VerifyAfter(output, dir.Path("damaged.exe"), [&](std::vector<uint8_t>& b) {
        b[big->start + big->record.TamComp - 100] ^= 0x01;
    });
    ASSERT_FALSE(problems.empty());
    EXPECT_TRUE(Mentions(problems, "damaged (its checksum does not match): member " + k + " (#ARQ" + k + ")"))
        << problems.front();
}
