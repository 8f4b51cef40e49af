// Seeded generated inputs for the codec and package tests.
#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace testdata {

// Bytes whose compressibility grows with `repeat` (0: random, 1: long repeats),
// drawn from an alphabet of `alphabet` symbols.
inline std::vector<uint8_t> Generate(size_t size, uint32_t seed, double repeat, int alphabet = 256)
{
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> coin(0.0, 1.0);
    std::uniform_int_distribution<int> symbol(0, alphabet - 1);
    std::vector<uint8_t> out;
    out.reserve(size);
    while (out.size() < size) {
        if (out.size() > 4 && coin(rng) < repeat) {
            std::uniform_int_distribution<size_t> back(1, std::min<size_t>(out.size(), 5000));
            std::uniform_int_distribution<size_t> length(1, 40);
            const size_t from = out.size() - back(rng);
            const size_t n = length(rng);
            for (size_t i = 0; i < n && out.size() < size; ++i)
                out.push_back(out[from + i]);
        } else {
            out.push_back(static_cast<uint8_t>(symbol(rng)));
        }
    }
    return out;
}

// English-like text: words from a small vocabulary, spaces and line breaks.
inline std::vector<uint8_t> Text(size_t size, uint32_t seed)
{
    static const char* const kWords[] = {"the",     "setup",     "program", "installs",    "files",      "into",
                                         "a",       "folder",    "and",     "creates",     "group",      "with",
                                         "items",   "for",       "each",    "application", "of",         "user",
                                         "license", "agreement", "Windows", "destination", "mode",       "full",
                                         "typical", "minimal",   "package", "is",          "compressed", "when",
                                         "it",      "was",       "built",   "by",          "release",    "engineer",
                                         "who",     "reads",     "manual",  "carefully",   "before",     "signing"};
    std::mt19937 rng(seed);
    std::uniform_int_distribution<size_t> pick(0, sizeof kWords / sizeof kWords[0] - 1);
    std::uniform_int_distribution<int> lineLength(40, 90);
    std::vector<uint8_t> out;
    out.reserve(size + 16);
    int column = 0;
    int limit = lineLength(rng);
    while (out.size() < size) {
        const std::string word = kWords[pick(rng)];
        out.insert(out.end(), word.begin(), word.end());
        column += static_cast<int>(word.size()) + 1;
        if (column > limit) {
            out.push_back('.');
            out.push_back('\r');
            out.push_back('\n');
            column = 0;
            limit = lineLength(rng);
        } else {
            out.push_back(' ');
        }
    }
    out.resize(size);
    return out;
}

inline std::vector<uint8_t> Bytes(const std::string& s)
{
    return std::vector<uint8_t>(s.begin(), s.end());
}

}  // namespace testdata
