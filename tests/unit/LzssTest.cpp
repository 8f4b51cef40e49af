#include "CollectingSink.h"
#include "Lzss.h"
#include "LzssDecoder.h"
#include "LzssEncoder.h"
#include "ReferenceLzss.h"
#include "TestData.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

namespace {

std::vector<uint8_t> Compress(const std::vector<uint8_t>& in)
{
    std::vector<uint8_t> out(lzss::CompressBound(in.size()));
    const size_t n = lzss::Compress(in.data(), in.size(), out.data(), out.size());
    EXPECT_NE(n, lzss::kError);
    out.resize(n);
    return out;
}

std::vector<uint8_t> Decompress(const std::vector<uint8_t>& in, size_t capacity)
{
    std::vector<uint8_t> out(capacity);
    const size_t n = lzss::Decompress(in.data(), in.size(), out.data(), out.size());
    EXPECT_NE(n, lzss::kError);
    out.resize(n == lzss::kError ? 0 : n);
    return out;
}

// Feeds the streaming encoder in pieces of random size, carrying the bytes it
// leaves unconsumed, into an output of random small capacities.
std::vector<uint8_t> EncodeInPieces(const std::vector<uint8_t>& in, uint32_t seed, size_t largestPiece = 700)
{
    std::mt19937 rng(seed);
    std::uniform_int_distribution<size_t> piece(0, largestPiece);
    std::uniform_int_distribution<size_t> room(lzss::kMaxGroupSize, 90);
    LzssEncoder encoder;
    std::vector<uint8_t> out;
    size_t fed = 0;  // bytes of `in` made available so far
    size_t read = 0;
    while (!encoder.Finished()) {
        fed = std::min(in.size(), fed + piece(rng));
        const bool last = fed == in.size();
        std::vector<uint8_t> buffer(room(rng));
        size_t consumed = 0;
        const size_t n = encoder.Encode(in.data() + read, fed - read, last, buffer.data(), buffer.size(), &consumed);
        read += consumed;
        out.insert(out.end(), buffer.begin(), buffer.begin() + static_cast<ptrdiff_t>(n));
    }
    EXPECT_EQ(read, in.size());
    return out;
}

// Copies of up to 400 bytes from up to a ring's length back, some with a
// changed byte inside; runs of one byte; random symbols in between.
std::vector<uint8_t> LongRepeats(size_t size, uint32_t seed, int alphabet)
{
    std::mt19937 rng(seed);
    const auto below = [&rng](size_t n) { return static_cast<size_t>(rng() % n); };
    std::vector<uint8_t> out;
    while (out.size() < size) {
        const size_t kind = below(10);
        if (kind < 6 && !out.empty()) {
            size_t distance = 1 + below(std::min<size_t>(out.size(), kind == 0 ? 6 : 4200));
            if (kind == 1 && out.size() > 4110)
                distance = 4070 + below(40);  // the source's nodes are the oldest
            const size_t length = 1 + below(400);
            for (size_t i = 0; i < length; ++i) {
                const uint8_t c = out[out.size() - distance];
                out.push_back(below(60) == 0 ? static_cast<uint8_t>(below(static_cast<size_t>(alphabet))) : c);
            }
        } else if (kind < 8) {
            out.insert(out.end(), 1 + below(60), static_cast<uint8_t>(below(static_cast<size_t>(alphabet))));
        } else {
            for (size_t i = below(50); i > 0; --i)
                out.push_back(static_cast<uint8_t>(below(static_cast<size_t>(alphabet))));
        }
    }
    out.resize(size);
    return out;
}

std::vector<uint8_t> DecodeInPieces(const std::vector<uint8_t>& in, uint32_t seed, size_t block,
                                    size_t* largest = nullptr)
{
    std::mt19937 rng(seed);
    std::uniform_int_distribution<size_t> piece(0, 300);
    LzssDecoder decoder(block);
    CollectingSink sink;
    size_t read = 0;
    size_t fed = 0;
    for (;;) {
        fed = std::min(in.size(), fed + piece(rng));
        const bool last = fed == in.size();
        size_t consumed = 0;
        EXPECT_TRUE(decoder.Decode(in.data() + read, fed - read, last, &consumed, sink));
        read += consumed;
        if (last)
            break;
    }
    EXPECT_EQ(decoder.BytesOut(), sink.bytes.size());
    if (largest != nullptr)
        *largest = sink.largest;
    return sink.bytes;
}

TEST(LzssFormat, DocumentedExamplesCompressToTheirExactBytes)
{
    struct Case {
        std::string input;
        std::vector<uint8_t> stream;
    };
    const std::vector<Case> cases = {
        {"", {}},
        {"abc", {0x07, 0x61, 0x62, 0x63}},
        {std::string(20, ' '), {0x06, 0xDC, 0xFF, 0x20, 0x20}},
        {"abcabcabcabc", {0x07, 0x61, 0x62, 0x63, 0xEE, 0xF6}},
        {"abcdefghi", {0xFF, 'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h', 0x01, 'i'}},
        // Exactly eight items: one complete group and no further flag byte.
        {"abcdefgh", {0xFF, 'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h'}},
    };
    for (const Case& c : cases) {
        const std::vector<uint8_t> input = testdata::Bytes(c.input);
        EXPECT_EQ(Compress(input), c.stream) << "input \"" << c.input << "\"";
        EXPECT_EQ(reference::Encode(input), c.stream) << "oracle, input \"" << c.input << "\"";
        EXPECT_EQ(Decompress(c.stream, 64), input) << "input \"" << c.input << "\"";
    }
}

TEST(LzssFormat, RepeatsOfTwoStayLiteralsAndLongRepeatsSplit)
{
    // "abab": the repeat of two bytes is coded as literals.
    EXPECT_EQ(Compress(testdata::Bytes("xyab"
                                       "ab")),
              (std::vector<uint8_t>{0x3F, 'x', 'y', 'a', 'b', 'a', 'b'}));
    // A run longer than 18 becomes several references, none above 18 bytes.
    const std::vector<uint8_t> run(100, 'q');
    const std::vector<uint8_t> stream = Compress(run);
    EXPECT_EQ(Decompress(stream, 1000), run);
    for (size_t i = 1; i + 1 < stream.size(); ++i) {
        // Every reference's length nibble is at most 15 (18 bytes).
        EXPECT_LE(stream[i + 1] & 0x0F, 15);
    }
}

TEST(LzssFormat, RunOfOneByteRepeatsThroughOverlappingReference)
{
    // Literal 'z' at 4078, then a reference to 4078 of length 18 that reads
    // the bytes it is producing.
    const std::vector<uint8_t> stream = {0x01, 'z', 0xEE, 0xFF};
    EXPECT_EQ(Decompress(stream, 64), std::vector<uint8_t>(19, 'z'));
}

TEST(LzssCompatibility, EncoderMatchesPlainTranscriptionOnGeneratedInputs)
{
    int cases = 0;
    for (uint32_t seed = 1; seed <= 12; ++seed) {
        for (double repeat : {0.0, 0.3, 0.8, 0.97}) {
            for (int alphabet : {2, 16, 256}) {
                const size_t size = 1 + (seed * 7919u) % 60000;
                const std::vector<uint8_t> input = testdata::Generate(size, seed, repeat, alphabet);
                const std::vector<uint8_t> expected = reference::Encode(input);
                ASSERT_EQ(Compress(input), expected)
                    << "seed " << seed << " repeat " << repeat << " alphabet " << alphabet;
                ASSERT_EQ(Decompress(expected, input.size()), input);
                ++cases;
            }
        }
    }
    EXPECT_EQ(cases, 144);
}

TEST(LzssCompatibility, EncoderMatchesOnTextAndShortInputs)
{
    const std::vector<uint8_t> text = testdata::Text(300000, 5);
    EXPECT_EQ(Compress(text), reference::Encode(text));
    // Short inputs exercise the lookahead running past the end, where the
    // ring still holds its initial zeros.
    for (size_t n = 1; n <= 40; ++n) {
        for (uint32_t seed = 0; seed < 20; ++seed) {
            const std::vector<uint8_t> input = testdata::Generate(n, seed, 0.5, 3);
            ASSERT_EQ(Compress(input), reference::Encode(input)) << "size " << n;
            std::vector<uint8_t> spaces(n, ' ');
            ASSERT_EQ(Compress(spaces), reference::Encode(spaces)) << "spaces " << n;
        }
    }
}

TEST(LzssCompatibility, EncoderMatchesOnLongRepeatsAndRuns)
{
    // A position inside a long repeat takes the place of the node after the
    // previous one's match without a walk: repeats broken by a changed byte,
    // sources a ring's length back whose nodes leave as they are reached,
    // repeated sources, runs and short periods, in one piece, in pieces, and
    // in pieces of at most 3 bytes (the checked path at every position).
    for (uint32_t seed = 1; seed <= 24; ++seed) {
        const int alphabet = seed % 3 == 0 ? 2 : seed % 3 == 1 ? 7 : 256;
        const std::vector<uint8_t> input = LongRepeats(10000 + seed * 2500, seed, alphabet);
        const std::vector<uint8_t> expected = reference::Encode(input);
        ASSERT_EQ(Compress(input), expected) << "seed " << seed;
        ASSERT_EQ(EncodeInPieces(input, seed), expected) << "seed " << seed;
        if (seed % 4 == 0) {
            ASSERT_EQ(EncodeInPieces(input, seed, 3), expected) << "seed " << seed;
        }
    }
    // Runs and periods that meet the input's end, and cross the ring's wrap.
    for (size_t period = 1; period <= 5; ++period) {
        for (size_t n : {size_t(17), size_t(18), size_t(19), size_t(20), size_t(37), size_t(4100), size_t(8300)}) {
            std::vector<uint8_t> input(n);
            for (size_t i = 0; i < n; ++i)
                input[i] = static_cast<uint8_t>('a' + i % period);
            ASSERT_EQ(Compress(input), reference::Encode(input)) << "period " << period << " size " << n;
        }
    }
}

TEST(LzssCompatibility, EncoderMatchesWhereMatchesEndAtEveryByteOfTheKey)
{
    // Copies of one 18-byte string, each with one byte raised or lowered, so
    // that walks turn at every byte of the key (the first eight, the next
    // eight and the last two) and meet equally long matches whose first
    // node must win; whole, and in small pieces.
    std::mt19937 rng(7);
    std::vector<uint8_t> base(lzss::kMaxMatch);
    for (uint8_t& c : base)
        c = static_cast<uint8_t>(rng());
    std::vector<uint8_t> input;
    for (int round = 0; round < 60; ++round) {
        for (size_t at = 0; at < base.size(); ++at) {
            std::vector<uint8_t> copy = base;
            const int change = (round % 2 == 0 ? 1 : -1) * (1 + round % 3);
            copy[at] = static_cast<uint8_t>(copy[at] + change);
            input.insert(input.end(), copy.begin(), copy.end());
            if (rng() % 3 == 0)
                input.push_back(static_cast<uint8_t>(rng()));
        }
        if (round % 12 == 11)
            base[rng() % base.size()] = static_cast<uint8_t>(rng());
    }
    const std::vector<uint8_t> expected = reference::Encode(input);
    ASSERT_EQ(Compress(input), expected);
    ASSERT_EQ(EncodeInPieces(input, 11, 7), expected);
}

TEST(LzssCompatibility, DecoderMatchesTranscriptionOnAnyBytes)
{
    // Random streams refer to ring positions never written: both decoders must
    // agree on the initial ring content, and neither may read out of bounds.
    for (uint32_t seed = 0; seed < 200; ++seed) {
        const std::vector<uint8_t> garbage = testdata::Generate(1 + seed * 37 % 9000, seed, 0.1);
        const std::vector<uint8_t> expected = reference::Decode(garbage);
        ASSERT_EQ(Decompress(garbage, expected.size()), expected) << "seed " << seed;
        ASSERT_EQ(DecodeInPieces(garbage, seed, 64), expected) << "seed " << seed;
    }
}

TEST(LzssStreaming, EncoderInPiecesGivesTheOneShotBytes)
{
    for (uint32_t seed = 0; seed < 16; ++seed) {
        const std::vector<uint8_t> input = testdata::Generate(20000 + seed * 101, seed, 0.6, 40);
        ASSERT_EQ(EncodeInPieces(input, seed), Compress(input)) << "seed " << seed;
    }
    EXPECT_TRUE(EncodeInPieces({}, 1).empty());
}

TEST(LzssStreaming, DecoderInPiecesWithSmallWindowsRoundTrips)
{
    for (uint32_t seed = 0; seed < 16; ++seed) {
        const std::vector<uint8_t> input = testdata::Generate(50000 + seed * 977, seed, 0.7, 50);
        const std::vector<uint8_t> stream = Compress(input);
        for (size_t block : {size_t(1), size_t(200), size_t(1) << 16})
            ASSERT_EQ(DecodeInPieces(stream, seed, block), input) << "block " << block;
    }
}

TEST(LzssStreaming, DecoderHandsOutBlocksNoLargerThanAsked)
{
    // Long enough for the window to grow to its full size and slide.
    const std::vector<uint8_t> input = testdata::Generate(300000, 3, 0.5);
    const std::vector<uint8_t> stream = Compress(input);
    for (size_t block : {size_t(5000), size_t(1) << 16, size_t(1) << 18}) {
        size_t largest = 0;
        ASSERT_EQ(DecodeInPieces(stream, 9, block, &largest), input) << "block " << block;
        EXPECT_LE(largest, block) << "block " << block;
        EXPECT_GT(largest, block / 2) << "block " << block;
    }
}

TEST(LzssStreaming, EncoderReportsProgressEveryKilobyteAndCountsOnlyItsRun)
{
    struct Log {
        std::vector<uint64_t> marks;
        static void Record(void* context, uint64_t n) { static_cast<Log*>(context)->marks.push_back(n); }
    };
    const std::vector<uint8_t> input = testdata::Generate(10000, 3, 0.5);
    LzssEncoder encoder;
    for (int run = 0; run < 2; ++run) {
        Log log;
        encoder.Reset();
        encoder.SetProgress(&Log::Record, &log);
        std::vector<uint8_t> out(lzss::CompressBound(input.size()));
        size_t consumed = 0;
        const size_t n = encoder.Encode(input.data(), input.size(), true, out.data(), out.size(), &consumed);
        EXPECT_EQ(encoder.BytesIn(), input.size());
        EXPECT_EQ(encoder.BytesOut(), n);
        ASSERT_EQ(log.marks.size(), 10u);  // passes 0, 1024, ..., 9216
        for (size_t i = 0; i < log.marks.size(); ++i) {
            // The first count includes the initial lookahead.
            const uint64_t slack = i == 0 ? 2 * lzss::kMaxMatch : lzss::kMaxMatch;
            EXPECT_GT(log.marks[i], 1024 * i);
            EXPECT_LE(log.marks[i], 1024 * i + slack);
        }
    }
}

TEST(LzssBadInput, TruncatedStreamDecodesToThePrefixOfItsCompleteItems)
{
    const std::vector<uint8_t> input = testdata::Text(5000, 9);
    const std::vector<uint8_t> stream = Compress(input);
    for (size_t cut = 0; cut < stream.size(); cut += 1 + cut / 7) {
        const std::vector<uint8_t> part(stream.begin(), stream.begin() + static_cast<ptrdiff_t>(cut));
        const std::vector<uint8_t> out = Decompress(part, input.size());
        ASSERT_LE(out.size(), input.size());
        ASSERT_TRUE(std::equal(out.begin(), out.end(), input.begin())) << "cut " << cut;
        ASSERT_EQ(out, reference::Decode(part)) << "cut " << cut;
    }
    // A lone flag byte, and a reference without its second byte, give nothing.
    EXPECT_TRUE(Decompress({0x00}, 10).empty());
    EXPECT_TRUE(Decompress({0x00, 0x12}, 10).empty());
}

TEST(LzssBadInput, CapacitiesAreRespectedExactly)
{
    const std::vector<uint8_t> input = testdata::Generate(3000, 4, 0.5);
    const std::vector<uint8_t> stream = Compress(input);
    std::vector<uint8_t> out(input.size());
    EXPECT_EQ(lzss::Decompress(stream.data(), stream.size(), out.data(), out.size()), input.size());
    EXPECT_EQ(lzss::Decompress(stream.data(), stream.size(), out.data(), out.size() - 1), lzss::kError);
    std::vector<uint8_t> packed(stream.size());
    EXPECT_EQ(lzss::Compress(input.data(), input.size(), packed.data(), packed.size()), stream.size());
    EXPECT_EQ(packed, stream);
    EXPECT_EQ(lzss::Compress(input.data(), input.size(), packed.data(), packed.size() - 1), lzss::kError);
    EXPECT_EQ(lzss::Compress(nullptr, 0, nullptr, 0), 0u);
}

}  // namespace
