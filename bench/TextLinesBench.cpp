// The text view's line index on an agreement text of 5 KB and on one of
// 5 MB: building it, looking up every line, and what one paint asks of it
// (the pieces in sight of a 372-pixel view, fifteen lines deep). Indexing
// is linear, so 5 MB should cost about a thousand times 5 KB, a few
// milliseconds in all; a paint should not depend on the text's size.
#include "TextLines.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>

namespace {

// Licence-like prose: lines of 40 to 90 characters, CR LF, a tab now and then.
std::string Prose(size_t size)
{
    std::string text;
    text.reserve(size + 100);
    uint32_t state = 12345;
    while (text.size() < size) {
        state = state * 1103515245u + 12345u;
        const size_t length = 40 + (state >> 16) % 51;
        if ((state >> 8) % 9 == 0)
            text += '\t';
        for (size_t i = 0; i < length; ++i)
            text += "abcdefghij klmnopqrst uvwxyz, ABC."[(state >> (i % 16)) % 34];
        text += "\r\n";
    }
    return text;
}

TextLines::Advances Font()
{
    TextLines::Advances advances;
    advances.fill(8);
    return advances;
}

void Index(benchmark::State& state)
{
    const std::string text = Prose(static_cast<size_t>(state.range(0)));
    for (auto _ : state) {
        TextLines lines(text.data(), text.size());
        benchmark::DoNotOptimize(lines.Count());
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(text.size()));
}

void LookUpEveryLine(benchmark::State& state)
{
    const TextLines lines(Prose(static_cast<size_t>(state.range(0))));
    size_t total = 0;
    for (auto _ : state) {
        for (size_t i = 0; i < lines.Count(); ++i)
            total += lines.Line(i).size();
        benchmark::DoNotOptimize(total);
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(lines.Count()));
}

void WidestLineInPixels(benchmark::State& state)
{
    const TextLines lines(Prose(static_cast<size_t>(state.range(0))));
    const TextLines::Advances font = Font();
    for (auto _ : state)
        benchmark::DoNotOptimize(lines.MaxWidth(font));
}

// One paint: fifteen lines from the middle of the text, their pieces in
// sight and their expansion into the reused buffer.
void PaintLines(benchmark::State& state)
{
    const TextLines lines(Prose(static_cast<size_t>(state.range(0))));
    const TextLines::Advances font = Font();
    std::string buffer;
    const size_t top = lines.Count() / 2;
    for (auto _ : state) {
        for (size_t i = top; i < top + 15 && i < lines.Count(); ++i) {
            const TextLines::Piece piece = lines.InSight(i, 35, 35 + 372, font);
            lines.Expand(i, piece.first, piece.count, buffer);
            benchmark::DoNotOptimize(buffer.data());
        }
    }
}

// The worst line: 5 MB without a break, seen at its far end.
void PaintEndOfOneLongLine(benchmark::State& state)
{
    const TextLines lines(std::string(static_cast<size_t>(state.range(0)), 'w'));
    const TextLines::Advances font = Font();
    const int64_t left = lines.Width(0, font) - 372;
    std::string buffer;
    for (auto _ : state) {
        const TextLines::Piece piece = lines.InSight(0, left, left + 372, font);
        lines.Expand(0, piece.first, piece.count, buffer);
        benchmark::DoNotOptimize(buffer.data());
    }
    state.SetBytesProcessed(state.iterations() * state.range(0));
}

constexpr int64_t k5KB = 5 << 10;
constexpr int64_t k5MB = 5 << 20;

}  // namespace

BENCHMARK(Index)->Arg(k5KB)->Arg(k5MB)->Unit(benchmark::kMicrosecond);
BENCHMARK(LookUpEveryLine)->Arg(k5KB)->Arg(k5MB)->Unit(benchmark::kMicrosecond);
BENCHMARK(WidestLineInPixels)->Arg(k5KB)->Arg(k5MB)->Unit(benchmark::kMicrosecond);
BENCHMARK(PaintLines)->Arg(k5KB)->Arg(k5MB)->Unit(benchmark::kMicrosecond);
BENCHMARK(PaintEndOfOneLongLine)->Arg(k5MB)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
