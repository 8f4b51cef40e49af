// kelvopack as a release engineer runs it: commands, exit codes, messages,
// and setups that build, verify, extract, sign and survive damage.
#include "Lzss.h"
#include "PackScratch.h"
#include "TestData.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

using packtest::Has;
using packtest::Result;
using packtest::RunProgram;
using packtest::Scratch;

Result Tool(const std::vector<std::string>& args, const Scratch& dir)
{
    return RunProgram(KELVOPACK_EXE, args, dir);
}

// Exit codes a command may end with on any input: success or failure,
// never a crash or a sanitizer's report.
void ExpectNoCrash(const Result& r, const std::string& what)
{
    EXPECT_TRUE(r.code == 0 || r.code == 1) << what << ": exit " << r.code << "\n" << r.err;
    EXPECT_FALSE(Has(r.err, "Sanitizer")) << what << "\n" << r.err;
    EXPECT_FALSE(Has(r.err, "runtime error")) << what << "\n" << r.err;
}

class Kelvopack : public ::testing::Test {
protected:
    void SetUp() override
    {
        stub = dir.Path("stub.exe");
        packtest::WriteStub(stub);
        project = packtest::MakeProject(dir);
        setup = dir.Path("setup.exe");
    }

    Result Build(const std::string& output, const std::vector<std::string>& more = {})
    {
        std::vector<std::string> args = {"build", project, "-o", output, "--stub", stub};
        args.insert(args.end(), more.begin(), more.end());
        return Tool(args, dir);
    }

    Scratch dir;
    std::string stub;
    std::string project;
    std::string setup;
};

TEST_F(Kelvopack, HelpVersionAndUsageErrors)
{
    Result r = Tool({"--version"}, dir);
    EXPECT_EQ(r.code, 0);
    EXPECT_TRUE(Has(r.out, "kelvopack ")) << r.out;
    r = Tool({"--help"}, dir);
    EXPECT_EQ(r.code, 0);
    for (const char* command : {"build", "list", "verify", "extract", "compress", "decompress"}) {
        EXPECT_TRUE(Has(r.out, command)) << command;
        const Result help = Tool({command, "--help"}, dir);
        EXPECT_EQ(help.code, 0) << command;
        EXPECT_TRUE(Has(help.out, "Usage")) << command << help.out;
    }
    EXPECT_EQ(Tool({}, dir).code, 2);
    EXPECT_EQ(Tool({"frobnicate"}, dir).code, 2);
    EXPECT_EQ(Tool({"build", project}, dir).code, 2);  // no -o
    EXPECT_EQ(Tool({"list", "--bogus", setup}, dir).code, 2);
    EXPECT_EQ(Tool({"build", project, "-o", setup, "-j", "0"}, dir).code, 2);
}

TEST_F(Kelvopack, BuildVerifyExtractRoundTrip)
{
    Result r = Build(setup);
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_TRUE(r.err.empty()) << "no progress bar off a terminal: " << r.err;
    EXPECT_TRUE(Has(r.out, "7 files")) << r.out;
    EXPECT_EQ(packtest::ReadBytes(setup).size() % 8, 0u);

    r = Tool({"verify", setup}, dir);
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_TRUE(Has(r.out, "OK, 7 members")) << r.out;

    r = Tool({"list", setup}, dir);
    EXPECT_EQ(r.code, 0) << r.err;
    for (const char* part :
         {"Name:          Demo App\nPublisher:     Kelvo Tests\nVersion:       1.2.3\nGroup:         Demo App\n",
          "C:\\Program Files\\Demo App\\", "FTX", "app.exe", "GFTX", "Docs\\guide\\start here.txt",
          "kelvo.bmp (bitmap)", "licen.txt (agreement text)", "7 files"})
        EXPECT_TRUE(Has(r.out, part)) << part << "\n" << r.out;

    const std::string out = dir.Path("out");
    std::filesystem::create_directory(out);
    r = Tool({"extract", setup, "-C", out}, dir);
    EXPECT_EQ(r.code, 0) << r.err;
    const struct {
        const char* extracted;
        const char* source;
    } files[] = {{"app.exe", "bin/app.exe"},
                 {"Docs/readme.txt", "docs/readme.txt"},
                 {"Docs/guide/empty.txt", "docs/guide/empty.txt"},
                 {"Docs/guide/start here.txt", "docs/guide/start here.txt"},
                 {"kelvo.bmp", "art/kelvo.bmp"},
                 {"pres.txt", "text/pres.txt"},
                 {"licen.txt", "text/licen.txt"}};
    for (const auto& f : files) {
        ASSERT_TRUE(packtest::Exists(out + "/" + f.extracted)) << f.extracted;
        EXPECT_EQ(packtest::ReadBytes(out + "/" + f.extracted), packtest::ReadBytes(dir.Path(f.source))) << f.extracted;
    }
    EXPECT_FALSE(packtest::Exists(out + "/Docs/.hidden"));
}

TEST_F(Kelvopack, ExtractsChosenMembersAndTheScript)
{
    ASSERT_EQ(Build(setup).code, 0);
    const std::string out = dir.Path("some");
    std::filesystem::create_directory(out);
    Result r = Tool({"extract", setup, "-C", out, "Docs/readme.txt", "Docs\\guide\\start here.txt", "pres.txt",
                     "kelvo.se"},
                    dir);
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_TRUE(packtest::Exists(out + "/Docs/readme.txt"));
    EXPECT_TRUE(packtest::Exists(out + "/Docs/guide/start here.txt"));
    EXPECT_TRUE(packtest::Exists(out + "/pres.txt"));
    EXPECT_FALSE(packtest::Exists(out + "/app.exe"));
    EXPECT_EQ(packtest::ReadText(out + "/kelvo.se").rfind("#DIR_ORIG C:\\KELVO\\\r\n\r\n#DIR_DEST ", 0), 0u);

    r = Tool({"extract", setup, "-C", out, "nothing.txt"}, dir);
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(Has(r.err, "no member named \"nothing.txt\"")) << r.err;
    // A folder that is not there is made, with its parents, unless a name
    // asked for is wrong.
    r = Tool({"extract", setup, "-C", dir.Path("new/deeper"), "nothing.txt"}, dir);
    EXPECT_EQ(r.code, 1);
    EXPECT_FALSE(packtest::Exists(dir.Path("new")));
    r = Tool({"extract", setup, "-C", dir.Path("new/deeper"), "-q"}, dir);
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(packtest::ReadBytes(dir.Path("new/deeper/app.exe")), packtest::ReadBytes(dir.Path("bin/app.exe")));
    r = Tool({"extract", setup, "-C", setup + "/inside"}, dir);
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(Has(r.err, "/inside\": cannot make the folder")) << r.err;
}

TEST_F(Kelvopack, SameProjectGivesTheSameBytes)
{
    std::filesystem::create_directory(dir.Path("a"));
    std::filesystem::create_directory(dir.Path("b"));
    ASSERT_EQ(Build(dir.Path("a/setup.exe"), {"-j", "1"}).code, 0);
    ASSERT_EQ(Build(dir.Path("b/setup.exe"), {"-j", "4", "-q"}).code, 0);
    const std::vector<uint8_t> a = packtest::ReadBytes(dir.Path("a/setup.exe"));
    EXPECT_FALSE(a.empty());
    EXPECT_EQ(a, packtest::ReadBytes(dir.Path("b/setup.exe")));
}

TEST_F(Kelvopack, RefusalsNameTheFileAndWriteNothing)
{
    packtest::WriteText(setup, "older setup");
    const std::string broken = packtest::MakeProject(dir,
                                                     "\n[[file]]\nsource = \"bin/missing.exe\"\n"
                                                     "\n[[file]]\nsource = \"bin/app.exe\"\npath = \"../up.exe\"\n");
    Result r = Tool({"build", broken, "-o", setup, "--stub", stub}, dir);
    EXPECT_EQ(r.code, 1);
    // Each at its source line.
    EXPECT_TRUE(Has(r.err, broken + ":20:10: cannot read \"")) << r.err;
    EXPECT_TRUE(Has(r.err, "bin/missing.exe\" (missing or not readable)")) << r.err;
    EXPECT_TRUE(Has(r.err, broken + ":23:10: \"..\\up.exe\" holds \"..\"")) << r.err;
    EXPECT_EQ(packtest::ReadText(setup), "older setup");
    EXPECT_FALSE(packtest::Exists(setup + ".part"));

    project = packtest::MakeProject(dir);  // the sound one again
    r = Tool({"build", project, "-o", dir.Path("bin/app.exe"), "--stub", stub}, dir);
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(Has(r.err, "the output is an input file")) << r.err;
    r = Tool({"build", project, "-o", stub, "--stub", stub}, dir);
    EXPECT_TRUE(Has(r.err, "the output is the stub")) << r.err;
    r = Tool({"build", dir.Path("nothing.toml"), "-o", setup, "--stub", stub}, dir);
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(Has(r.err, "nothing.toml: cannot open the project file")) << r.err;
    r = Tool({"build", project, "-o", dir.Path("no/such/folder/setup.exe"), "--stub", stub}, dir);
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(Has(r.err, "cannot create")) << r.err;
    EXPECT_EQ(packtest::ReadText(setup), "older setup");
}

TEST_F(Kelvopack, DamagedSetupsAreReportedWithoutCrashing)
{
    ASSERT_EQ(Build(setup).code, 0);
    const std::vector<uint8_t> good = packtest::ReadBytes(setup);
    const std::string bad = dir.Path("bad.exe");
    const std::string out = dir.Path("x");
    std::filesystem::create_directory(out);
    std::vector<std::vector<uint8_t>> variants;
    for (const size_t cut : {size_t(1), size_t(3), size_t(4), size_t(200), good.size() / 2, good.size() - 1})
        variants.emplace_back(good.begin(), good.end() - static_cast<std::ptrdiff_t>(cut));
    for (const size_t extra : {1, 7, 8, 100}) {
        variants.push_back(good);
        variants.back().insert(variants.back().end(), extra, static_cast<uint8_t>(extra));
    }
    for (const size_t at : {good.size() - 1, good.size() - 4, good.size() - 40, good.size() / 3, size_t(5)}) {
        variants.push_back(good);
        variants.back()[at] ^= 0x10;
    }
    for (size_t i = 0; i < variants.size(); ++i) {
        packtest::WriteBytes(bad, variants[i]);
        const Result verify = Tool({"verify", bad}, dir);
        ExpectNoCrash(verify, "verify #" + std::to_string(i));
        if (i < 10) {  // cut short or padded: always found
            EXPECT_EQ(verify.code, 1) << "variant " << i;
        }
        if (verify.code == 1) {
            EXPECT_TRUE(Has(verify.err, bad + ": ")) << verify.err;
        }
        ExpectNoCrash(Tool({"list", bad}, dir), "list #" + std::to_string(i));
        ExpectNoCrash(Tool({"extract", bad, "-C", out}, dir), "extract #" + std::to_string(i));
    }
    packtest::WriteText(bad, "");
    const Result r = Tool({"list", bad}, dir);
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(Has(r.err, "too short to hold a package")) << r.err;
}

TEST_F(Kelvopack, HandMadeSetupsAreListedVerifiedAndExtractedAsTheSetupReadsThem)
{
    // One text serving presentation and agreement, and two records that are
    // one file on Windows.
    const std::string head =
        "#DIR_ORIG C:\\K\\\r\n\r\n#DIR_DEST C:\\D\\\r\n\r\n"
        "#DIR_ARQ_BMP c:\\b\\kelvo.bmp\r\n\r\n#DIR_ARQ_APRESENTACAO c:\\b\\text.txt\r\n\r\n"
        "#DIR_ARQ_LICENCA c:\\b\\text.txt\r\n\r\n#DIR_NOME_GRUPO G\r\n\r\n"
        "#DIR_MODOS_INSTALACAO FXX\r\n\r\n";
    const std::string hand = dir.Path("hand.exe");
    packtest::PackRecords(hand, head,
                          {{"C:\\K\\docs\\a.txt", "XFXX", "first"},
                           {"C:\\K\\Docs\\A.TXT", "XFXX", "second"},
                           {"c:\\b\\kelvo.bmp", "XXXX", "BM"},
                           {"c:\\b\\text.txt", "XXXX", "the text"}});

    Result r = Tool({"list", hand}, dir);
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_TRUE(Has(r.out, "pres.txt (presentation text), licen.txt (agreement text)")) << r.out;

    r = Tool({"verify", hand}, dir);
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err, hand +
                         ": #ARQ1 (\"C:\\K\\Docs\\A.TXT\"): the setup would install it under the same name as "
                         "#ARQ0 (\"C:\\K\\docs\\a.txt\"), \"Docs\\A.TXT\" (letter case aside), and so refuses "
                         "to install in the Full mode\n" +
                         hand + ": 1 problem found\n");

    const std::string out = dir.Path("out");
    std::filesystem::create_directory(out);
    r = Tool({"extract", hand, "-C", out, "-j", "4"}, dir);
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err, "kelvopack: " + hand +
                         ": \"Docs/A.TXT\": not extracted: #ARQ0 (\"C:\\K\\docs\\a.txt\") goes to "
                         "the same name on Windows (letter case aside) and comes first, so its file is the one the "
                         "setup leaves there\n");
    EXPECT_EQ(packtest::ReadText(out + "/docs/a.txt"), "first");
    EXPECT_FALSE(packtest::Exists(out + "/Docs"));
    EXPECT_EQ(packtest::ReadText(out + "/pres.txt"), "the text");
    EXPECT_EQ(packtest::ReadText(out + "/licen.txt"), "the text");
    EXPECT_TRUE(Has(r.out, "extracted: licen.txt")) << r.out;

    // Asked for by its second name, the text is written under that name only.
    const std::string some = dir.Path("some");
    std::filesystem::create_directory(some);
    r = Tool({"extract", hand, "-C", some, "licen.txt"}, dir);
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(packtest::ReadText(some + "/licen.txt"), "the text");
    EXPECT_FALSE(packtest::Exists(some + "/pres.txt"));
}

TEST_F(Kelvopack, CompressAndDecompressTheRawCodec)
{
    const std::vector<uint8_t> data = testdata::Generate(300000, 5, 0.6);
    packtest::WriteBytes(dir.Path("in.bin"), data);
    Result r = Tool({"compress", dir.Path("in.bin"), dir.Path("in.lz")}, dir);
    ASSERT_EQ(r.code, 0) << r.err;
    std::vector<uint8_t> expected(lzss::CompressBound(data.size()));
    expected.resize(lzss::Compress(data.data(), data.size(), expected.data(), expected.size()));
    EXPECT_EQ(packtest::ReadBytes(dir.Path("in.lz")), expected);
    r = Tool({"decompress", dir.Path("in.lz"), dir.Path("back.bin")}, dir);
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(packtest::ReadBytes(dir.Path("back.bin")), data);

    r = Tool({"compress", dir.Path("in.bin"), dir.Path("./in.bin")}, dir);
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(Has(r.err, "the output is the input")) << r.err;
    EXPECT_EQ(packtest::ReadBytes(dir.Path("in.bin")), data);
    r = Tool({"decompress", dir.Path("gone.lz"), dir.Path("x.bin")}, dir);
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(Has(r.err, "gone.lz\": cannot open it for reading")) << r.err;
    packtest::WriteBytes(dir.Path("noise.lz"), testdata::Generate(5000, 9, 0.0));
    ExpectNoCrash(Tool({"decompress", dir.Path("noise.lz"), dir.Path("noise.bin")}, dir), "noise");
}

TEST_F(Kelvopack, OtherWindowsProgramsAreNoStub)
{
#ifndef TINY_PE
    GTEST_SKIP() << "no i686-w64-mingw32-gcc here to make a Windows program";
#else
    stub = TINY_PE;
    const Result r = Build(setup);
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err, std::string("kelvopack: ") + TINY_PE +
                         ": the stub is no Kelvo setup program (kelvo.exe or "
                         "kelvo-admin.exe): it is no Windows program with a window for i386 or x86-64\n");
    EXPECT_FALSE(packtest::Exists(setup));
#endif
}

TEST_F(Kelvopack, SignedSetupsListVerifyAndExtract)
{
    if (!packtest::Exists(KELVO_SETUP_PROGRAM))
        GTEST_SKIP() << "the setup program is not built: " << KELVO_SETUP_PROGRAM;
    const char* tools[] = {"osslsigncode", "openssl"};
    for (const char* tool : tools) {
        if (std::system((std::string("command -v ") + tool + " >/dev/null 2>&1").c_str()) != 0)
            GTEST_SKIP() << tool << " is not installed";
    }
    stub = KELVO_SETUP_PROGRAM;
    ASSERT_EQ(Build(setup).code, 0);
    const size_t unsignedSize = packtest::ReadBytes(setup).size();
    ASSERT_EQ(unsignedSize % 8, 0u);

    Result r = RunProgram("openssl",
                          {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-subj", "/CN=test", "-days", "1",
                           "-keyout", dir.Path("k.pem"), "-out", dir.Path("c.pem")},
                          dir);
    ASSERT_EQ(r.code, 0) << r.err;
    const std::string signedSetup = dir.Path("signed.exe");
    r = RunProgram("osslsigncode",
                   {"sign", "-certs", dir.Path("c.pem"), "-key", dir.Path("k.pem"), "-in", setup, "-out", signedSetup},
                   dir);
    ASSERT_EQ(r.code, 0) << r.out << r.err;
    r = RunProgram("osslsigncode", {"verify", "-CAfile", dir.Path("c.pem"), "-in", signedSetup}, dir);
    EXPECT_EQ(r.code, 0) << r.out << r.err;
    EXPECT_TRUE(Has(r.out, "Signature verification: ok")) << r.out;
    const size_t current = r.out.find("Current message digest    : ");
    const size_t calculated = r.out.find("Calculated message digest : ");
    ASSERT_NE(current, std::string::npos) << r.out;
    ASSERT_NE(calculated, std::string::npos) << r.out;
    EXPECT_EQ(r.out.substr(current + 28, 64), r.out.substr(calculated + 28, 64));

    // The signer appended its table straight behind the package.
    const std::vector<uint8_t> signedBytes = packtest::ReadBytes(signedSetup);
    EXPECT_GT(signedBytes.size(), unsignedSize);
    r = Tool({"verify", signedSetup}, dir);
    EXPECT_EQ(r.code, 0) << r.err;
    r = Tool({"list", signedSetup}, dir);
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_TRUE(Has(r.out, "signed (certificate table of " + std::to_string(signedBytes.size() - unsignedSize)))
        << r.out;
    const std::string out = dir.Path("signed-out");
    std::filesystem::create_directory(out);
    r = Tool({"extract", signedSetup, "-C", out}, dir);
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(packtest::ReadBytes(out + "/app.exe"), packtest::ReadBytes(dir.Path("bin/app.exe")));
    EXPECT_EQ(packtest::ReadBytes(out + "/licen.txt"), packtest::ReadBytes(dir.Path("text/licen.txt")));

    // A signed stub is refused: its signature would not survive.
    r = Tool({"build", project, "-o", dir.Path("again.exe"), "--stub", signedSetup}, dir);
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(Has(r.err, "the stub is signed")) << r.err;
}

TEST_F(Kelvopack, DemoProjectBuilds)
{
    // The demo's project file with stand-ins for what its build makes.
    const std::filesystem::path demo = DEMO_PROJECT_DIR;
    ASSERT_TRUE(std::filesystem::exists(demo / "demo.toml"));
    const std::string copy = dir.Path("demo");
    std::filesystem::copy(demo, copy, std::filesystem::copy_options::recursive);
    std::filesystem::remove_all(copy + "/out");
    packtest::WriteText(copy + "/out/hello.exe", "MZ stand-in");
    packtest::WriteText(copy + "/out/kelvo.bmp", "BM stand-in");
    Result r = Tool({"build", copy + "/demo.toml", "-o", dir.Path("demo-setup.exe"), "--stub", stub}, dir);
    ASSERT_EQ(r.code, 0) << r.err;
    r = Tool({"verify", dir.Path("demo-setup.exe")}, dir);
    EXPECT_EQ(r.code, 0) << r.err;
}

}  // namespace
