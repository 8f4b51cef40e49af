#include "CollectingSink.h"
#include "Lzss.h"
#include "LzssDecoder.h"
#include "LzssOptimal.h"
#include "ReferenceLzss.h"
#include "TestData.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <random>

namespace {

std::vector<uint8_t> Plain(const std::vector<uint8_t>& in)
{
    std::vector<uint8_t> out(lzss::CompressBound(in.size()));
    out.resize(lzss::Compress(in.data(), in.size(), out.data(), out.size()));
    return out;
}

std::vector<uint8_t> Best(const std::vector<uint8_t>& in)
{
    std::vector<uint8_t> out(lzss::CompressBound(in.size()));
    const size_t n = lzss::CompressBest(in.data(), in.size(), out.data(), out.size());
    EXPECT_NE(n, lzss::kError);
    out.resize(n == lzss::kError ? 0 : n);
    return out;
}

// The stream decodes to `in` through every decoder: the one-shot one, the
// streaming one, and the plain transcription.
void ExpectDecodes(const std::vector<uint8_t>& stream, const std::vector<uint8_t>& in, const std::string& what)
{
    std::vector<uint8_t> out(in.size() + 1);
    out.resize(lzss::Decompress(stream.data(), stream.size(), out.data(), out.size()));
    EXPECT_EQ(out, in) << what;
    LzssDecoder decoder(1000);
    CollectingSink sink;
    size_t consumed = 0;
    EXPECT_TRUE(decoder.Decode(stream.data(), stream.size(), true, &consumed, sink));
    EXPECT_EQ(sink.bytes, in) << what;
    EXPECT_EQ(reference::Decode(stream), in) << what;
}

// The smallest stream the format allows, by a plain scan of every distance
// at every position: 9 bits a literal, 17 a reference, rounded up to bytes.
size_t SmallestSize(const std::vector<uint8_t>& in)
{
    const size_t blanks = lzss::kFirstPosition;
    std::vector<uint8_t> ring(blanks, lzss::kFillByte);
    ring.insert(ring.end(), in.begin(), in.end());
    std::vector<uint64_t> bits(in.size() + lzss::kMaxMatch + 1, UINT64_MAX / 2);
    bits[0] = 0;
    for (size_t i = 0; i < in.size(); ++i) {
        size_t longest = 0;
        for (size_t d = 1; d <= lzss::kRingSize && d <= blanks + i; ++d) {
            size_t n = 0;
            while (n < lzss::kMaxMatch && i + n < in.size() && ring[blanks + i + n - d] == ring[blanks + i + n])
                ++n;
            longest = std::max(longest, n);
        }
        bits[i + 1] = std::min(bits[i + 1], bits[i] + 9);
        for (size_t n = 3; n <= longest; ++n)
            bits[i + n] = std::min(bits[i + n], bits[i] + 17);
    }
    return static_cast<size_t>((bits[in.size()] + 7) / 8);
}

// Feeds the encoder in pieces of random size into outputs of random small
// capacities, carrying the input it leaves unconsumed.
std::vector<uint8_t> EncodeInPieces(LzssOptimal& encoder, const std::vector<uint8_t>& in, uint32_t seed)
{
    std::mt19937 rng(seed);
    std::uniform_int_distribution<size_t> piece(0, 5000);
    std::uniform_int_distribution<size_t> room(0, 40);
    encoder.Reset();
    std::vector<uint8_t> out;
    size_t fed = 0;
    size_t read = 0;
    while (!encoder.Finished()) {
        fed = std::min(in.size(), fed + piece(rng));
        std::vector<uint8_t> buffer(room(rng));
        size_t consumed = 0;
        const size_t n = encoder.Encode(in.data() + read, fed - read, fed == in.size(), buffer.data(), buffer.size(),
                                        &consumed);
        read += consumed;
        out.insert(out.end(), buffer.begin(), buffer.begin() + static_cast<ptrdiff_t>(n));
    }
    EXPECT_EQ(read, in.size());
    EXPECT_EQ(encoder.BytesIn(), in.size());
    EXPECT_EQ(encoder.BytesOut(), out.size());
    return out;
}

TEST(LzssOptimal, RoundTripsNeverLargerThanPlainOnEveryKindOfInput)
{
    std::vector<std::pair<std::string, std::vector<uint8_t>>> inputs;
    for (uint32_t seed = 1; seed <= 3; ++seed) {
        for (double repeat : {0.0, 0.3, 0.8, 0.97}) {
            for (int alphabet : {2, 16, 256}) {
                inputs.emplace_back("seed " + std::to_string(seed) + " repeat " + std::to_string(repeat) +
                                        " alphabet " + std::to_string(alphabet),
                                    testdata::Generate(1 + seed * 20011 % 30000, seed, repeat, alphabet));
            }
        }
    }
    inputs.emplace_back("text", testdata::Text(100000, 3));
    std::ifstream self("/proc/self/exe", std::ios::binary);
    std::vector<uint8_t> binary((std::istreambuf_iterator<char>(self)), std::istreambuf_iterator<char>());
    binary.resize(std::min<size_t>(binary.size(), 100000));
    inputs.emplace_back("this program", binary);
    // Longer than a block without a literal: blocks must end inside references.
    inputs.emplace_back("zeros", std::vector<uint8_t>(100000, 0));
    inputs.emplace_back("blanks", std::vector<uint8_t>(70000, ' '));

    LzssOptimal smallBlocks(64);
    for (const auto& [what, in] : inputs) {
        const std::vector<uint8_t> plain = Plain(in);
        const std::vector<uint8_t> best = Best(in);
        ExpectDecodes(best, in, what);
        EXPECT_LE(best.size(), plain.size()) << what;
        // In pieces, into tiny outputs: the same bytes.
        LzssOptimal encoder;
        ASSERT_EQ(EncodeInPieces(encoder, in, 11), best) << what;
        // Blocks of 64 positions end on the plain coder's items: still never larger.
        const std::vector<uint8_t> small = EncodeInPieces(smallBlocks, in, 5);
        ExpectDecodes(small, in, what + ", small blocks");
        EXPECT_LE(small.size(), plain.size()) << what << ", small blocks";
    }
}

TEST(LzssOptimal, ShortInputsReachTheSmallestSizeTheFormatAllows)
{
    // Every input of up to 5 bytes over three symbols, blanks among them.
    const uint8_t symbols[] = {' ', 'a', 0};
    for (size_t length = 0; length <= 5; ++length) {
        size_t count = 1;
        for (size_t i = 0; i < length; ++i)
            count *= 3;
        for (size_t code = 0; code < count; ++code) {
            std::vector<uint8_t> in;
            for (size_t c = code, i = 0; i < length; ++i, c /= 3)
                in.push_back(symbols[c % 3]);
            const std::vector<uint8_t> best = Best(in);
            ExpectDecodes(best, in, "short input " + std::to_string(code));
            ASSERT_EQ(best.size(), SmallestSize(in)) << "length " << length << " code " << code;
        }
    }
    // Longer ones of every kind, runs and blanks included.
    for (uint32_t seed = 0; seed < 16; ++seed) {
        const size_t size = 5 + seed * 97 % 1500;
        std::vector<uint8_t> in = seed % 4 == 3 ? testdata::Text(size, seed)
                                                : testdata::Generate(size, seed, 0.3 * (seed % 4), 2 + seed % 5);
        if (seed % 3 == 0)
            std::replace(in.begin(), in.end(), uint8_t(0), uint8_t(' '));
        const std::vector<uint8_t> best = Best(in);
        ExpectDecodes(best, in, "seed " + std::to_string(seed));
        ASSERT_EQ(best.size(), SmallestSize(in)) << "seed " << seed;
    }
}

TEST(LzssOptimal, EdgeCasesOfTheFormat)
{
    // Nothing to share: the plain coder's very bytes.
    EXPECT_TRUE(Best({}).empty());
    EXPECT_EQ(Best(testdata::Bytes("abc")), (std::vector<uint8_t>{0x07, 'a', 'b', 'c'}));
    EXPECT_EQ(Best(testdata::Bytes("abcdefgh")), Plain(testdata::Bytes("abcdefgh")));
    EXPECT_EQ(Best(testdata::Bytes("abcdefghi")), Plain(testdata::Bytes("abcdefghi")));
    // Twenty blanks: two references into the initial ring, or one and two
    // literals; five bytes either way.
    EXPECT_EQ(Best(std::vector<uint8_t>(20, ' ')).size(), 5u);
    // A reference that runs into its own output.
    EXPECT_EQ(Best(testdata::Bytes("abcabcabcabc")).size(), 6u);

    // Where the longest match is the wrong one: the plain coder codes the
    // last 17 bytes as "abc" and "defg...", two references; a literal "a"
    // and one reference "bcd...q" save a byte.
    const std::vector<uint8_t> crossing = testdata::Bytes(
        "bcdefghijklmnopq"
        "Zabc"
        "Y"
        "abcdefghijklmnopq");
    EXPECT_EQ(Best(crossing).size() + 1, Plain(crossing).size());
    ExpectDecodes(Best(crossing), crossing, "crossing");

    // The far end of the ring: 4096 random bytes, then the first 18 again,
    // which only a reference reaching exactly 4096 back can repeat.
    std::vector<uint8_t> far = testdata::Generate(lzss::kRingSize, 9, 0.0);
    far.insert(far.end(), far.begin(), far.begin() + lzss::kMaxMatch);
    const std::vector<uint8_t> best = Best(far);
    ExpectDecodes(best, far, "far");
    EXPECT_EQ(best.size(), SmallestSize(far));
    // 18 literals (162 bits) against one reference (17).
    EXPECT_EQ(Plain(far).size() - best.size(), 18u);
}

TEST(LzssOptimal, CapacitiesAndReuse)
{
    const std::vector<uint8_t> in = testdata::Generate(20000, 4, 0.5);
    const std::vector<uint8_t> best = Best(in);
    std::vector<uint8_t> out(best.size());
    EXPECT_EQ(lzss::CompressBest(in.data(), in.size(), out.data(), out.size()), best.size());
    EXPECT_EQ(out, best);
    EXPECT_EQ(lzss::CompressBest(in.data(), in.size(), out.data(), out.size() - 1), lzss::kError);
    EXPECT_EQ(lzss::CompressBest(nullptr, 0, nullptr, 0), 0u);
    const std::vector<uint8_t> noise = testdata::Generate(10000, 5, 0.0);
    // One encoder, many streams: each as from a fresh one.
    LzssOptimal encoder;
    EXPECT_EQ(EncodeInPieces(encoder, noise, 1), Best(noise));
    EXPECT_EQ(EncodeInPieces(encoder, in, 2), best);
    EXPECT_TRUE(EncodeInPieces(encoder, {}, 3).empty());
}

}  // namespace
