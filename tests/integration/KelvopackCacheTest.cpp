// kelvopack build and the members it keeps between builds, as an author
// meets them: where they go, --no-cache, the size from the environment.
#include "PackScratch.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

size_t Entries(const std::string& folder)
{
    size_t n = 0;
    std::error_code ec;
    for (fs::recursive_directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
        n += it->is_regular_file() && it->path().filename().string().size() == 64;
    return n;
}

// kelvopack with the environment given, nothing else of the cache's inherited.
packtest::Result Tool(const std::vector<std::string>& environment, const std::vector<std::string>& args,
                      const packtest::Scratch& dir)
{
    std::vector<std::string> all = {"-u", "XDG_CACHE_HOME", "-u", "KELVOPACK_CACHE_SIZE", "HOME=" + dir.Path("home")};
    all.insert(all.end(), environment.begin(), environment.end());
    all.push_back(KELVOPACK_EXE);
    all.insert(all.end(), args.begin(), args.end());
    return packtest::RunProgram("env", all, dir);
}

TEST(KelvopackCache, KeptWhereTheUserKeepsCachesOffWithNoCacheAndTheSameSetups)
{
    packtest::Scratch dir;
    const std::string stub = dir.Path("stub.exe");
    ASSERT_TRUE(packtest::WriteStub(stub));
    const std::string project = packtest::MakeProject(dir);
    const auto build = [&](const std::vector<std::string>& environment, const std::string& output,
                           const std::vector<std::string>& more = {}) {
        std::vector<std::string> args = {"build", project, "-o", dir.Path(output), "--stub", stub, "-q"};
        args.insert(args.end(), more.begin(), more.end());
        return Tool(environment, args, dir);
    };
    fs::create_directories(dir.Path("a"));
    fs::create_directories(dir.Path("b"));
    fs::create_directories(dir.Path("c"));
    fs::create_directories(dir.Path("d"));

    packtest::Result r = build({}, "a/setup.exe", {"--no-cache"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_FALSE(packtest::Exists(dir.Path("home/.cache"))) << "--no-cache wrote a cache";
    const std::vector<uint8_t> plain = packtest::ReadBytes(dir.Path("a/setup.exe"));

    r = build({}, "b/setup.exe");  // under $HOME/.cache without XDG_CACHE_HOME
    ASSERT_EQ(r.code, 0) << r.err;
    const size_t kept = Entries(dir.Path("home/.cache/kelvopack"));
    EXPECT_GT(kept, 3u);
    EXPECT_TRUE(packtest::ReadBytes(dir.Path("b/setup.exe")) == plain);

    r = build({"XDG_CACHE_HOME=" + dir.Path("xdg")}, "c/setup.exe");
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(Entries(dir.Path("xdg/kelvopack")), kept);
    r = build({"XDG_CACHE_HOME=" + dir.Path("xdg")}, "d/setup.exe");  // warm
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_TRUE(packtest::ReadBytes(dir.Path("c/setup.exe")) == plain);
    EXPECT_TRUE(packtest::ReadBytes(dir.Path("d/setup.exe")) == plain);

    // A size of 0 keeps nothing; one that is no size is refused before the build.
    r = build({"XDG_CACHE_HOME=" + dir.Path("zero"), "KELVOPACK_CACHE_SIZE=0"}, "a/setup.exe");
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(Entries(dir.Path("zero")), 0u);
    r = build({"XDG_CACHE_HOME=" + dir.Path("bad"), "KELVOPACK_CACHE_SIZE=lots"}, "a/other.exe");
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(packtest::Has(r.err, "KELVOPACK_CACHE_SIZE")) << r.err;
    EXPECT_FALSE(packtest::Exists(dir.Path("a/other.exe")));
    // A small limit: what does not fit is dropped once the build is done.
    r = build({"XDG_CACHE_HOME=" + dir.Path("xdg"), "KELVOPACK_CACHE_SIZE=1K"}, "a/setup.exe");
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_LT(Entries(dir.Path("xdg/kelvopack")), kept);
    EXPECT_TRUE(packtest::ReadBytes(dir.Path("a/setup.exe")) == plain);

    r = Tool({}, {"build", "--help"}, dir);
    EXPECT_TRUE(packtest::Has(r.out, "--no-cache")) << r.out;
    EXPECT_TRUE(packtest::Has(r.out, "KELVOPACK_CACHE_SIZE")) << r.out;
}

}  // namespace
