// CPU time of lzss::Compress over many files, one call per file, as a setup
// build compresses its members: `small_files_bench PATH... [--rounds N]`,
// where a PATH is a file or a folder (read recursively). Prints the best
// round's CPU time and rate, and the packed size with a hash of all packed
// bytes, so that two builds of the encoder can be checked to agree.
#include "Lzss.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

void Collect(const std::string& path, std::vector<std::string>& files)
{
    struct stat st {};
    if (stat(path.c_str(), &st) != 0)
        return;
    if (S_ISREG(st.st_mode)) {
        files.push_back(path);
        return;
    }
    if (!S_ISDIR(st.st_mode))
        return;
    DIR* dir = opendir(path.c_str());
    if (dir == nullptr)
        return;
    std::vector<std::string> names;
    while (const dirent* entry = readdir(dir)) {
        if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
            names.push_back(entry->d_name);
    }
    closedir(dir);
    std::sort(names.begin(), names.end());
    for (const std::string& name : names)
        Collect(path + "/" + name, files);
}

double CpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

}  // namespace

int main(int argc, char** argv)
{
    int rounds = 3;
    std::vector<std::string> files;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--rounds") == 0 && i + 1 < argc)
            rounds = std::max(1, std::atoi(argv[++i]));
        else
            Collect(argv[i], files);
    }
    if (files.empty()) {
        std::fprintf(stderr, "usage: small_files_bench PATH... [--rounds N]\n");
        return 2;
    }
    std::vector<std::vector<uint8_t>> inputs;
    size_t total = 0;
    size_t largest = 0;
    for (const std::string& name : files) {
        std::ifstream in(name, std::ios::binary);
        inputs.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        total += inputs.back().size();
        largest = std::max(largest, inputs.back().size());
    }
    std::vector<uint8_t> out(lzss::CompressBound(largest));
    double best = 1e30;
    size_t packed = 0;
    uint64_t hash = 0;
    for (int round = 0; round < rounds; ++round) {
        packed = 0;
        hash = 1469598103934665603ull;  // FNV-1a over every packed byte
        double spent = 0;
        for (const std::vector<uint8_t>& input : inputs) {
            const double start = CpuSeconds();
            const size_t n = lzss::Compress(input.data(), input.size(), out.data(), out.size());
            spent += CpuSeconds() - start;
            packed += n;
            for (size_t i = 0; i < n; ++i)
                hash = (hash ^ out[i]) * 1099511628211ull;
        }
        best = std::min(best, spent);
    }
    std::printf("%zu files, %zu bytes -> %zu (%.3f); best of %d: %.3f s CPU, %.2f MB/s; hash %016llx\n", inputs.size(),
                total, packed, static_cast<double>(packed) / static_cast<double>(total), rounds, best,
                static_cast<double>(total) / best / 1e6, static_cast<unsigned long long>(hash));
    return 0;
}
