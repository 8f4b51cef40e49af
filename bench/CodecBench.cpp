// Throughput of the LZSS codec against a plain transcription of the same
// algorithm and against zlib (deflate level 6 / inflate), on text, an
// executable and incompressible bytes of several MB each, and on the three
// back to back (the mixed payload of a setup). The optimal parse of
// `kelvopack build --best` against the plain coder: its size (vs_plain, the
// target being at most 0.95 on the mixed payload), its speed, and the speed
// of decoding what it makes.
#include "Lzss.h"
#include "LzssOptimal.h"
#include "ReferenceLzss.h"
#include "TestData.h"

#include <benchmark/benchmark.h>
#include <zlib.h>

#include <dirent.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr size_t kSize = size_t(4) << 20;

std::vector<uint8_t> Text()
{
    // Real English prose from the machine: the licence texts every Debian
    // system carries; generated text where they are missing.
    std::vector<std::string> names;
    const std::string folder = "/usr/share/common-licenses/";
    if (DIR* dir = opendir(folder.c_str())) {
        while (const dirent* entry = readdir(dir)) {
            if (entry->d_name[0] != '.')
                names.push_back(entry->d_name);
        }
        closedir(dir);
    }
    std::sort(names.begin(), names.end());
    std::vector<uint8_t> out;
    for (size_t round = 0; !names.empty() && out.size() < kSize && round < 1000; ++round) {
        for (const std::string& name : names) {
            std::ifstream in(folder + name, std::ios::binary);
            out.insert(out.end(), std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        }
    }
    if (out.size() < kSize)
        return testdata::Text(kSize, 1);
    out.resize(kSize);
    return out;
}

std::vector<uint8_t> Executable()
{
    // This very program, repeated: a real x86-64 binary of this build.
    std::ifstream in("/proc/self/exe", std::ios::binary);
    const std::vector<uint8_t> self((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<uint8_t> out;
    while (out.size() < kSize)
        out.insert(out.end(), self.begin(), self.end());
    out.resize(kSize);
    return out;
}

std::vector<uint8_t> Random()
{
    std::mt19937 rng(42);
    std::vector<uint8_t> out(kSize);
    for (auto& b : out)
        b = static_cast<uint8_t>(rng());
    return out;
}

std::map<int, std::vector<uint8_t>> Inputs()
{
    std::map<int, std::vector<uint8_t>> inputs = {{0, Text()}, {1, Executable()}, {2, Random()}};
    std::vector<uint8_t> mixed;
    for (int which = 0; which < 3; ++which)
        mixed.insert(mixed.end(), inputs[which].begin(), inputs[which].end());
    inputs[3] = std::move(mixed);
    return inputs;
}

const std::vector<uint8_t>& Input(int which)
{
    static const std::map<int, std::vector<uint8_t>> inputs = Inputs();
    return inputs.at(which);
}

const char* const kNames[] = {"text", "executable", "random", "mixed"};

std::vector<uint8_t> LzssPacked(const std::vector<uint8_t>& in)
{
    std::vector<uint8_t> out(lzss::CompressBound(in.size()));
    out.resize(lzss::Compress(in.data(), in.size(), out.data(), out.size()));
    return out;
}

std::vector<uint8_t> LzssBestPacked(const std::vector<uint8_t>& in)
{
    std::vector<uint8_t> out(lzss::CompressBound(in.size()));
    out.resize(lzss::CompressBest(in.data(), in.size(), out.data(), out.size()));
    return out;
}

std::vector<uint8_t> ZlibPacked(const std::vector<uint8_t>& in)
{
    uLongf n = compressBound(static_cast<uLong>(in.size()));
    std::vector<uint8_t> out(n);
    compress2(out.data(), &n, in.data(), static_cast<uLong>(in.size()), 6);
    out.resize(n);
    return out;
}

void Report(benchmark::State& state, size_t in, size_t packed)
{
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(in));
    state.counters["ratio"] = static_cast<double>(packed) / static_cast<double>(in);
    state.SetLabel(kNames[state.range(0)]);
}

void BM_LzssCompress(benchmark::State& state)
{
    const auto& in = Input(static_cast<int>(state.range(0)));
    std::vector<uint8_t> out(lzss::CompressBound(in.size()));
    size_t n = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(n = lzss::Compress(in.data(), in.size(), out.data(), out.size()));
    Report(state, in.size(), n);
}

void BM_LzssDecompress(benchmark::State& state)
{
    const auto& in = Input(static_cast<int>(state.range(0)));
    const auto packed = LzssPacked(in);
    std::vector<uint8_t> out(in.size());
    for (auto _ : state)
        benchmark::DoNotOptimize(lzss::Decompress(packed.data(), packed.size(), out.data(), out.size()));
    Report(state, in.size(), packed.size());
}

void BM_LzssCompressBest(benchmark::State& state)
{
    const auto& in = Input(static_cast<int>(state.range(0)));
    std::vector<uint8_t> out(lzss::CompressBound(in.size()));
    size_t n = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(n = lzss::CompressBest(in.data(), in.size(), out.data(), out.size()));
    Report(state, in.size(), n);
    state.counters["vs_plain"] = static_cast<double>(n) / static_cast<double>(LzssPacked(in).size());
}

void BM_LzssDecompressBest(benchmark::State& state)
{
    const auto& in = Input(static_cast<int>(state.range(0)));
    const auto packed = LzssBestPacked(in);
    std::vector<uint8_t> out(in.size());
    for (auto _ : state)
        benchmark::DoNotOptimize(lzss::Decompress(packed.data(), packed.size(), out.data(), out.size()));
    Report(state, in.size(), packed.size());
}

void BM_ReferenceCompress(benchmark::State& state)
{
    const auto& in = Input(static_cast<int>(state.range(0)));
    size_t n = 0;
    for (auto _ : state)
        n = reference::Encode(in).size();
    Report(state, in.size(), n);
}

void BM_ReferenceDecompress(benchmark::State& state)
{
    const auto& in = Input(static_cast<int>(state.range(0)));
    const auto packed = LzssPacked(in);
    for (auto _ : state)
        benchmark::DoNotOptimize(reference::Decode(packed).size());
    Report(state, in.size(), packed.size());
}

void BM_ZlibDeflate6(benchmark::State& state)
{
    const auto& in = Input(static_cast<int>(state.range(0)));
    size_t n = 0;
    for (auto _ : state)
        n = ZlibPacked(in).size();
    Report(state, in.size(), n);
}

void BM_ZlibInflate(benchmark::State& state)
{
    const auto& in = Input(static_cast<int>(state.range(0)));
    const auto packed = ZlibPacked(in);
    std::vector<uint8_t> out(in.size());
    for (auto _ : state) {
        uLongf n = static_cast<uLongf>(out.size());
        uncompress(out.data(), &n, packed.data(), static_cast<uLong>(packed.size()));
        benchmark::DoNotOptimize(n);
    }
    Report(state, in.size(), packed.size());
}

}  // namespace

BENCHMARK(BM_LzssCompress)->DenseRange(0, 3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LzssCompressBest)->DenseRange(0, 3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReferenceCompress)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ZlibDeflate6)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LzssDecompress)->DenseRange(0, 3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LzssDecompressBest)->DenseRange(0, 3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReferenceDecompress)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ZlibInflate)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
