// The text view's line index: line breaks of every kind, the empty line a
// final break leaves, tabs, long lines kept whole, and large texts checked
// line by line against a plain byte-by-byte reading.
#include "TextLines.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace {

std::vector<std::string> AllLines(const TextLines& lines)
{
    std::vector<std::string> all;
    for (size_t i = 0; i < lines.Count(); ++i)
        all.emplace_back(lines.Line(i));
    return all;
}

std::string Expanded(const TextLines& lines, size_t i)
{
    std::string out;
    lines.Expand(i, out);
    return out;
}

// The same rules, one byte at a time: what the index must agree with.
std::vector<std::string> ReferenceLines(const std::string& text)
{
    std::vector<std::string> lines(1);
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r' || c == '\n') {
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
            lines.emplace_back();
        } else {
            lines.back() += c;
        }
    }
    return lines;
}

std::string ReferenceExpand(const std::string& line)
{
    std::string out;
    for (char c : line) {
        if (c == '\t')
            out.append(8 - out.size() % 8, ' ');
        else
            out += c;
    }
    return out;
}

// Bytes of every kind, breaks and tabs frequent, seeded.
std::string RandomText(size_t size, uint32_t seed)
{
    std::mt19937 random(seed);
    const char common[] = "\r\n\t\0 aZ~";
    std::string text(size, ' ');
    for (char& c : text) {
        const uint32_t r = random();
        c = r % 4 == 0 ? common[(r >> 8) % 8] : static_cast<char>(r >> 16);
    }
    return text;
}

TEST(TextLinesTest, LineEndsAtCrLfLoneLfAndLoneCr)
{
    const TextLines lines(std::string("one\r\ntwo\nthree\rfour"));
    EXPECT_EQ(AllLines(lines), (std::vector<std::string>{"one", "two", "three", "four"}));

    // CR LF is one break; LF CR, CR CR and LF LF are two each.
    EXPECT_EQ(AllLines(TextLines(std::string("a\n\rb"))), (std::vector<std::string>{"a", "", "b"}));
    EXPECT_EQ(AllLines(TextLines(std::string("a\r\rb"))), (std::vector<std::string>{"a", "", "b"}));
    EXPECT_EQ(AllLines(TextLines(std::string("a\n\nb"))), (std::vector<std::string>{"a", "", "b"}));
    EXPECT_EQ(AllLines(TextLines(std::string("\r\r\n\n"))), (std::vector<std::string>{"", "", "", ""}));

    // Zeros and other control bytes are part of their line.
    const TextLines zeros(std::string("a\0b\x01\nc", 6));
    ASSERT_EQ(zeros.Count(), 2u);
    EXPECT_EQ(zeros.Line(0), std::string_view("a\0b\x01", 4));
    EXPECT_EQ(zeros.Columns(0), 4u);

    // Lines beyond the last are empty, not an error.
    EXPECT_EQ(lines.Line(4), "");
    EXPECT_EQ(lines.Columns(99), 0u);
    EXPECT_EQ(Expanded(lines, 99), "");
}

TEST(TextLinesTest, FinalBreakAddsOneEmptyLineAndEmptyTextIsOneLine)
{
    EXPECT_EQ(TextLines(std::string("a")).Count(), 1u);
    for (const char* ending : {"\n", "\r\n", "\r"}) {
        const TextLines lines(std::string("a") + ending);
        EXPECT_EQ(AllLines(lines), (std::vector<std::string>{"a", ""})) << "ending " << int(ending[0]);
    }
    EXPECT_EQ(AllLines(TextLines(std::string("a\n\n"))), (std::vector<std::string>{"a", "", ""}));

    for (const TextLines& empty : {TextLines(), TextLines(std::string()), TextLines("", 0)}) {
        EXPECT_EQ(AllLines(empty), std::vector<std::string>{""});
        EXPECT_EQ(empty.MaxColumns(), 0u);
        EXPECT_EQ(empty.WidestLine(), 0u);
    }
    // A lone break: two empty lines.
    EXPECT_EQ(TextLines(std::string("\n")).Count(), 2u);
    EXPECT_EQ(TextLines(std::string("\r\n")).Count(), 2u);
}

TEST(TextLinesTest, TabsMoveToTheNextMultipleOfEight)
{
    const TextLines lines(std::string("\tx\nab\tc\n12345678\t|\n\t\t\n1234567\t8"));
    EXPECT_EQ(Expanded(lines, 0), "        x");
    EXPECT_EQ(Expanded(lines, 1), "ab      c");
    EXPECT_EQ(Expanded(lines, 2), "12345678        |");
    EXPECT_EQ(Expanded(lines, 3), std::string(16, ' '));
    EXPECT_EQ(Expanded(lines, 4), "1234567 8");
    EXPECT_EQ(lines.Columns(0), 9u);
    EXPECT_EQ(lines.Columns(2), 17u);
    EXPECT_EQ(lines.Columns(3), 16u);
    // The stored line keeps its tabs.
    EXPECT_EQ(lines.Line(1), "ab\tc");
    // The widest by columns, not by bytes: "\t\t" (2 bytes) is 16 wide.
    EXPECT_EQ(lines.MaxColumns(), 17u);
    EXPECT_EQ(lines.WidestLine(), 2u);

    // A window of columns: a tab cut by either end gives its blanks inside.
    std::string out = "left over";
    lines.Expand(1, 3, 4, out);
    EXPECT_EQ(out, "    ");
    lines.Expand(1, 1, 2, out);
    EXPECT_EQ(out, "b ");
    lines.Expand(1, 7, 5, out);
    EXPECT_EQ(out, " c");
    lines.Expand(2, 15, 2, out);
    EXPECT_EQ(out, " |");
    lines.Expand(2, 17, 10, out);
    EXPECT_EQ(out, "");
    lines.Expand(0, 0, 0, out);
    EXPECT_EQ(out, "");
}

TEST(TextLinesTest, LongLinesStayWhole)
{
    const std::string two_hundred(200, 'w');
    const TextLines lines(two_hundred + "\n" + std::string(127, 's') + "\n");
    ASSERT_EQ(lines.Count(), 3u);
    EXPECT_EQ(lines.Line(0), two_hundred);
    EXPECT_EQ(lines.Line(1).size(), 127u);
    EXPECT_EQ(lines.Line(2), "");
    EXPECT_EQ(lines.MaxColumns(), 200u);
    EXPECT_EQ(lines.WidestLine(), 0u);

    // Several thousand characters, seen through a window near the end.
    std::string thousands;
    for (int i = 0; i < 7000; ++i)
        thousands += static_cast<char>('a' + i % 26);
    const TextLines wide("short\n" + thousands + "\tend\r\nafter");
    ASSERT_EQ(wide.Count(), 3u);
    EXPECT_EQ(wide.WidestLine(), 1u);
    // The tab starts on a stop (7000 = 875 x 8) and fills the next eight columns.
    const std::string tab(8, ' ');
    EXPECT_EQ(wide.MaxColumns(), 7000u + 8 + 3);
    std::string out;
    wide.Expand(1, 6990, 14, out);
    EXPECT_EQ(out, thousands.substr(6990) + "    ");
    wide.Expand(1, 6998, 100, out);
    EXPECT_EQ(out, thousands.substr(6998) + tab + "end");
    wide.Expand(1, 0, TextLines::kAll, out);
    EXPECT_EQ(out, thousands + tab + "end");
}

// Advances of a proportional font: blanks 3, 'i' 2, 'W' 11, others 7, and
// one zero-width byte.
TextLines::Advances Proportional()
{
    TextLines::Advances advances;
    advances.fill(7);
    advances[static_cast<unsigned char>(' ')] = 3;
    advances[static_cast<unsigned char>('i')] = 2;
    advances[static_cast<unsigned char>('W')] = 11;
    advances[0x01] = 0;
    return advances;
}

TEST(TextLinesTest, WidthsAndThePiecesInSightFollowTheAdvances)
{
    const TextLines::Advances font = Proportional();
    const TextLines lines(std::string("iW\tx\nWWWW\n\n\x01i"));
    // "iW" then six blanks up to column 8, then "x".
    EXPECT_EQ(lines.Width(0, font), 2 + 11 + 6 * 3 + 7);
    EXPECT_EQ(lines.Width(1, font), 44);
    EXPECT_EQ(lines.Width(2, font), 0);
    EXPECT_EQ(lines.Width(3, font), 2);
    EXPECT_EQ(lines.Width(9, font), 0);
    // The widest in pixels is not the widest in columns.
    EXPECT_EQ(lines.MaxWidth(font), 44);
    EXPECT_EQ(lines.WidestLine(), 0u);

    // Pixel 0 to 14 of line 0: 'i' [0,2), 'W' [2,13), blanks from 13 on.
    auto piece = lines.InSight(0, 0, 14, font);
    EXPECT_EQ(piece.first, 0u);
    EXPECT_EQ(piece.count, 3u);
    EXPECT_EQ(piece.x, 0);
    // From inside the 'W': it is the first column, drawn from where it starts.
    piece = lines.InSight(0, 5, 16, font);
    EXPECT_EQ(piece.first, 1u);
    EXPECT_EQ(piece.x, 2);
    EXPECT_EQ(piece.count, 2u);  // W [2,13) and the blank [13,16); the next starts at 16
    // The tab's blanks, then the 'x' at [31,38).
    piece = lines.InSight(0, 30, 100, font);
    EXPECT_EQ(piece.first, 7u);
    EXPECT_EQ(piece.x, 28);
    EXPECT_EQ(piece.count, 2u);
    std::string out;
    lines.Expand(0, piece.first, piece.count, out);
    EXPECT_EQ(out, " x");
    // Left of the line's start (the view's margin): from the first column.
    piece = lines.InSight(1, -5, 20, font);
    EXPECT_EQ(piece.first, 0u);
    EXPECT_EQ(piece.x, 0);
    EXPECT_EQ(piece.count, 2u);
    // Beyond the end, and an empty line: nothing, placed at the end.
    piece = lines.InSight(1, 44, 100, font);
    EXPECT_EQ(piece.count, 0u);
    EXPECT_EQ(piece.first, 4u);
    EXPECT_EQ(piece.x, 44);
    EXPECT_EQ(lines.InSight(2, 0, 100, font).count, 0u);
    // A zero-width byte at the left edge is passed over; it shows nothing.
    piece = lines.InSight(3, 0, 100, font);
    EXPECT_EQ(piece.first, 1u);
    EXPECT_EQ(piece.x, 0);
}

TEST(TextLinesTest, PiecesOfAVeryLongLineTileIt)
{
    // A view 372 pixels wide stepped along a line of 20 000 columns: the
    // pieces, drawn where they start, put every column at its own place.
    const TextLines::Advances font = Proportional();
    std::string line;
    for (int i = 0; i < 20000; ++i)
        line += "iW x\t"[i % 5];
    const TextLines lines(line);
    std::vector<int64_t> starts;  // pixel where each display column starts
    int64_t x = 0;
    std::string expanded;
    lines.Expand(0, expanded);
    for (char c : expanded) {
        starts.push_back(x);
        x += font[static_cast<unsigned char>(c)];
    }
    ASSERT_EQ(x, lines.Width(0, font));
    for (int64_t left = -5; left < x; left += 997) {
        const auto piece = lines.InSight(0, left, left + 372, font);
        ASSERT_GT(piece.count, 0u) << left;
        ASSERT_EQ(piece.x, starts[piece.first]) << left;
        // The first column reaches into sight, the one before does not.
        ASSERT_GT(piece.x + font[static_cast<unsigned char>(expanded[piece.first])], left);
        if (piece.first > 0) {
            ASSERT_LE(starts[piece.first], std::max<int64_t>(left, 0));
        }
        // The last column starts in sight; the next one would not.
        const size_t last = piece.first + piece.count - 1;
        ASSERT_LT(starts[last], left + 372);
        if (last + 1 < starts.size()) {
            ASSERT_GE(starts[last + 1], left + 372);
        }
    }
}

TEST(TextLinesTest, LargeTextsAgreeWithAPlainReading)
{
    // Five megabytes of mixed bytes, compared line by line and column by column.
    const std::string text = RandomText(5u << 20, 7);
    const TextLines lines(text);
    const std::vector<std::string> reference = ReferenceLines(text);
    ASSERT_EQ(lines.Count(), reference.size());
    const TextLines::Advances font = Proportional();
    size_t widestColumns = 0;
    size_t widest = 0;
    int64_t widestPixels = 0;
    for (size_t i = 0; i < reference.size(); ++i) {
        ASSERT_EQ(lines.Line(i), reference[i]) << "line " << i;
        const std::string expanded = ReferenceExpand(reference[i]);
        ASSERT_EQ(Expanded(lines, i), expanded) << "line " << i;
        ASSERT_EQ(lines.Columns(i), expanded.size()) << "line " << i;
        int64_t pixels = 0;
        for (char c : expanded)
            pixels += font[static_cast<unsigned char>(c)];
        ASSERT_EQ(lines.Width(i, font), pixels) << "line " << i;
        widestPixels = std::max(widestPixels, pixels);
        if (expanded.size() > widestColumns || i == 0) {
            widestColumns = expanded.size();
            widest = i;
        }
    }
    EXPECT_EQ(lines.MaxColumns(), widestColumns);
    EXPECT_EQ(lines.WidestLine(), widest);
    EXPECT_EQ(lines.MaxWidth(font), widestPixels);

    // Texts of one kind of byte: breaks only (one search per kind of break
    // must not turn into one search per line), and one line of it all.
    for (const char* fill : {"\r", "\n", "\r\n", "x"}) {
        std::string same;
        while (same.size() < (5u << 20))
            same += fill;
        const TextLines many(same);
        const size_t breaks = same.size() / std::string(fill).size();
        EXPECT_EQ(many.Count(), fill[0] == 'x' ? 1u : breaks + 1) << int(fill[0]);
        EXPECT_EQ(many.MaxColumns(), fill[0] == 'x' ? same.size() : 0u);
    }
}

}  // namespace
