// kelvopack against the raw codec: building a setup (load, check, compress
// on every core, write) from 10 000 small files, from 100 of them, and from a
// few large files; verifying and extracting those setups. The raw figures
// are the codec alone on the same bytes in memory, on one core.
//
// Targets: build >= 85% of raw compression x cores; verify and extract
// >= 85% of raw decompression; 10 000 files within 2x the time per byte of
// 100 files.
#include "FakePe.h"
#include "Lzss.h"
#include "ProjectCheck.h"
#include "ProjectFile.h"
#include "SetupArchive.h"
#include "SetupCheck.h"
#include "SetupExtractor.h"
#include "SetupPlan.h"
#include "SetupWriter.h"
#include "TestData.h"

#include <benchmark/benchmark.h>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr size_t kSmallCount = 10000;
constexpr size_t kFewCount = 100;
constexpr size_t kLargeCount = 4;
constexpr size_t kLargeSize = size_t(32) << 20;

void Write(const std::string& path, const std::vector<uint8_t>& bytes)
{
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr || std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size() || std::fclose(f) != 0)
        throw std::runtime_error("cannot write " + path);
}

// Small files like an application's: text and binary, 1 to 15 KB.
std::vector<uint8_t> SmallFile(size_t i)
{
    const size_t size = 1024 + (i * 7919) % (14 * 1024);
    return i % 2 == 0 ? testdata::Text(size, static_cast<uint32_t>(i))
                      : testdata::Generate(size, static_cast<uint32_t>(i), 0.5);
}

// One generated tree with its project file, its bytes kept in memory for
// the raw codec, and the setup built from it.
struct Tree {
    std::string folder;
    std::string project;
    std::string setup;
    std::vector<std::vector<uint8_t>> files;
    std::vector<std::vector<uint8_t>> packed;
    uint64_t bytes = 0;
};

class Trees {
public:
    Trees()
    {
        std::string base = (fs::temp_directory_path() / "kelvopack-bench-XXXXXX").string();
        if (mkdtemp(base.data()) == nullptr)
            throw std::runtime_error("no temporary folder");
        root_ = base;
        const std::vector<uint8_t> bmp = {'B', 'M', 0, 0};
        Write(root_ + "/kelvo.bmp", bmp);
        Write(root_ + "/pres.txt", testdata::Text(300, 1));
        Write(root_ + "/licen.txt", testdata::Text(3000, 2));
        Write(root_ + "/stub.exe", fakepe::SetupProgram());
        small_ = Make("small", kSmallCount, [](size_t i) { return SmallFile(i); });
        few_ = Make("few", kFewCount, [](size_t i) { return SmallFile(i); });
        large_ = Make("large", kLargeCount, [](size_t i) {
            std::vector<uint8_t> a = testdata::Text(kLargeSize / 2, static_cast<uint32_t>(100 + i));
            const std::vector<uint8_t> b = testdata::Generate(kLargeSize / 2, static_cast<uint32_t>(200 + i), 0.5);
            a.insert(a.end(), b.begin(), b.end());
            return a;
        });
    }
    ~Trees()
    {
        std::error_code ignored;
        fs::remove_all(root_, ignored);
    }

    Tree& Small() { return small_; }
    Tree& Few() { return few_; }
    Tree& Large() { return large_; }
    const std::string& Root() const { return root_; }

private:
    template <typename MakeFile>
    Tree Make(const std::string& name, size_t count, MakeFile makeFile)
    {
        Tree tree;
        tree.folder = root_ + "/" + name;
        for (size_t i = 0; i < count; ++i) {
            const std::string sub = tree.folder + "/d" + std::to_string(i / 100);
            fs::create_directories(sub);
            tree.files.push_back(makeFile(i));
            Write(sub + "/f" + std::to_string(i) + ".bin", tree.files.back());
            tree.bytes += tree.files.back().size();
            std::vector<uint8_t> packed(lzss::CompressBound(tree.files.back().size()));
            packed.resize(
                lzss::Compress(tree.files.back().data(), tree.files.back().size(), packed.data(), packed.size()));
            tree.packed.push_back(std::move(packed));
        }
        tree.project = root_ + "/" + name + ".toml";
        const std::string text =
            "name = \"Bench\"\ndestination = 'C:\\Bench\\'\nbitmap = \"kelvo.bmp\"\n"
            "presentation = \"pres.txt\"\nagreement = \"licen.txt\"\n"
            "[[folder]]\nsource = \"" +
            name + "\"\n";
        Write(tree.project, std::vector<uint8_t>(text.begin(), text.end()));
        tree.setup = root_ + "/" + name + "-setup.exe";
        return tree;
    }

    std::string root_;
    Tree small_;
    Tree few_;
    Tree large_;
};

Trees& Data()
{
    static Trees trees;
    return trees;
}

// What `kelvopack build` does, on every core.
void BuildSetup(Tree& tree)
{
    Project project = LoadProject(tree.project);
    const std::vector<std::string> problems = CheckProject(&project,
                                                           CheckInputs{tree.setup, Data().Root() + "/stub.exe"});
    if (!problems.empty())
        throw std::runtime_error(problems.front());
    SetupSettings settings;
    settings.stub = Data().Root() + "/stub.exe";
    settings.output = tree.setup;
    settings.threads = std::max(1u, std::thread::hardware_concurrency());
    WriteSetup(SetupPlan(project, "setup.exe"), settings);
}

void RawCompress(benchmark::State& state, Tree& tree)
{
    std::vector<uint8_t> out;
    for (auto _ : state) {
        for (const std::vector<uint8_t>& file : tree.files) {
            out.resize(lzss::CompressBound(file.size()));
            benchmark::DoNotOptimize(lzss::Compress(file.data(), file.size(), out.data(), out.size()));
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * tree.bytes));
}

// The raw codec on every core at once, each core compressing its share of
// the files in memory: what the machine can give at best.
void RawCompressAllCores(benchmark::State& state, Tree& tree)
{
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    for (auto _ : state) {
        std::vector<std::thread> threads;
        for (unsigned t = 0; t < cores; ++t) {
            threads.emplace_back([&tree, t, cores] {
                std::vector<uint8_t> out;
                for (size_t i = t; i < tree.files.size(); i += cores) {
                    out.resize(lzss::CompressBound(tree.files[i].size()));
                    benchmark::DoNotOptimize(
                        lzss::Compress(tree.files[i].data(), tree.files[i].size(), out.data(), out.size()));
                }
            });
        }
        for (std::thread& t : threads)
            t.join();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * tree.bytes));
    state.counters["cores"] = cores;
}

void RawDecompress(benchmark::State& state, Tree& tree)
{
    std::vector<uint8_t> out;
    for (auto _ : state) {
        for (size_t i = 0; i < tree.files.size(); ++i) {
            out.resize(tree.files[i].size());
            benchmark::DoNotOptimize(
                lzss::Decompress(tree.packed[i].data(), tree.packed[i].size(), out.data(), out.size()));
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * tree.bytes));
}

void Build(benchmark::State& state, Tree& tree)
{
    for (auto _ : state)
        BuildSetup(tree);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * tree.bytes));
    state.counters["cores"] = std::max(1u, std::thread::hardware_concurrency());
}

void Verify(benchmark::State& state, Tree& tree)
{
    BuildSetup(tree);
    for (auto _ : state) {
        const SetupCheckResult result = CheckSetup(tree.setup);
        if (!result.problems.empty())
            state.SkipWithError(result.problems.front().c_str());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * tree.bytes));
}

void Extract(benchmark::State& state, Tree& tree)
{
    BuildSetup(tree);
    // Into memory where the system offers it: the figure is the tool's, not
    // the disk's (creating 10 000 files on a disk costs far more than
    // decoding them).
    const std::string folder = (fs::is_directory("/dev/shm")
                                    ? std::string("/dev/shm/") + fs::path(Data().Root()).filename().string()
                                    : tree.setup) +
                               ".out";
    fs::create_directories(folder);
    for (auto _ : state) {
        SetupArchive archive;
        std::string error;
        if (!archive.Open(tree.setup, &error))
            state.SkipWithError(error.c_str());
        std::vector<size_t> all(archive.Members().size());
        for (size_t k = 0; k < all.size(); ++k)
            all[k] = k;
        const unsigned jobs = std::max(1u, std::thread::hardware_concurrency());
        for (const ExtractOutcome& outcome : ExtractMembers(archive, folder, all, jobs)) {
            if (!outcome.error.empty())
                state.SkipWithError(outcome.error.c_str());
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * tree.bytes));
    std::error_code ignored;
    fs::remove_all(folder, ignored);
}

// The floor of extracting: writing the same files, already decoded, into
// the same kind of folder.
void WriteFiles(benchmark::State& state, Tree& tree)
{
    const std::string folder = (fs::is_directory("/dev/shm")
                                    ? std::string("/dev/shm/") + fs::path(Data().Root()).filename().string()
                                    : tree.setup) +
                               ".write";
    for (size_t i = 0; i < tree.files.size(); i += 100)
        fs::create_directories(folder + "/d" + std::to_string(i / 100));
    for (auto _ : state) {
        for (size_t i = 0; i < tree.files.size(); ++i) {
            const std::string path = folder + "/d" + std::to_string(i / 100) + "/f" + std::to_string(i) + ".bin";
            Write(path, tree.files[i]);
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * tree.bytes));
    std::error_code ignored;
    fs::remove_all(folder, ignored);
}

void BM_RawCompress_10000Files(benchmark::State& s)
{
    RawCompress(s, Data().Small());
}
void BM_RawCompress_LargeFiles(benchmark::State& s)
{
    RawCompress(s, Data().Large());
}
void BM_RawCompressAllCores_10000Files(benchmark::State& s)
{
    RawCompressAllCores(s, Data().Small());
}
void BM_RawCompressAllCores_LargeFiles(benchmark::State& s)
{
    RawCompressAllCores(s, Data().Large());
}
void BM_Build_100Files(benchmark::State& s)
{
    Build(s, Data().Few());
}
void BM_Build_10000Files(benchmark::State& s)
{
    Build(s, Data().Small());
}
void BM_Build_LargeFiles(benchmark::State& s)
{
    Build(s, Data().Large());
}
void BM_RawDecompress_10000Files(benchmark::State& s)
{
    RawDecompress(s, Data().Small());
}
void BM_RawDecompress_LargeFiles(benchmark::State& s)
{
    RawDecompress(s, Data().Large());
}
void BM_WriteFiles_10000Files(benchmark::State& s)
{
    WriteFiles(s, Data().Small());
}
void BM_WriteFiles_LargeFiles(benchmark::State& s)
{
    WriteFiles(s, Data().Large());
}
void BM_Verify_10000Files(benchmark::State& s)
{
    Verify(s, Data().Small());
}
void BM_Verify_LargeFiles(benchmark::State& s)
{
    Verify(s, Data().Large());
}
void BM_Extract_10000Files(benchmark::State& s)
{
    Extract(s, Data().Small());
}
void BM_Extract_LargeFiles(benchmark::State& s)
{
    Extract(s, Data().Large());
}

}  // namespace

BENCHMARK(BM_RawCompress_10000Files)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_RawCompress_LargeFiles)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_RawCompressAllCores_10000Files)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_RawCompressAllCores_LargeFiles)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Build_100Files)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Build_10000Files)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Build_LargeFiles)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_RawDecompress_10000Files)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_RawDecompress_LargeFiles)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_WriteFiles_10000Files)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_WriteFiles_LargeFiles)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Verify_10000Files)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Verify_LargeFiles)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Extract_10000Files)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Extract_LargeFiles)->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK_MAIN();
