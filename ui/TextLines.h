// The lines of a plain 8-bit text as the text view shows them, indexed once.
//
// A line ends at CR LF, at a lone LF or at a lone CR; the break is not part
// of the line. A text that ends with a break has one empty line more after
// it, and an empty text is one empty line: there is always at least one.
// Lines are kept whole, however long.
//
// For display a tab moves on to the next multiple of kTabColumns columns;
// every other byte, control characters and zeros included, takes one column
// as it stands. Drawn in a font, each column is as wide as its byte's
// advance (a tab's columns as wide as a blank): a view can find the widest
// line in pixels and the few columns of a long line that it has in sight.
//
// The text is held once, as one string, and the index holds two offsets per
// line: building is linear in the text's size (each byte is looked at a
// bounded number of times, whatever the mix of breaks), and a line is found
// in constant time.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class TextLines {
public:
    static constexpr std::size_t kTabColumns = 8;
    static constexpr std::size_t kAll = static_cast<std::size_t>(-1);

    // The advance in pixels of each of the 256 byte values in a font.
    using Advances = std::array<int, 256>;

    // The display columns of a line that lie in sight of a view.
    struct Piece {
        std::size_t first = 0;  // the first column that reaches into sight
        std::size_t count = 0;  // columns from there until sight ends
        int64_t x = 0;          // where `first` starts, from the line's start
    };

    // One empty line: what a missing file shows.
    TextLines();
    explicit TextLines(std::string text);
    TextLines(const char* data, std::size_t size);

    std::size_t Count() const { return lines_.size(); }
    // Line `index` as stored, without its break; empty beyond the last line.
    std::string_view Line(std::size_t index) const;
    // Display columns of line `index` (0 beyond the last line).
    std::size_t Columns(std::size_t index) const;
    // The first of the lines with the most display columns, and their count
    // (each a walk over the whole text: the view measures in pixels instead).
    std::size_t WidestLine() const;
    std::size_t MaxColumns() const { return Columns(WidestLine()); }

    // Display columns [first, first + count) of line `index` into `out`
    // (replacing what it held), tabs expanded to blanks; a tab cut by either
    // end gives only its columns inside. Reusing `out` from line to line
    // allocates only when a line is longer than any before.
    void Expand(std::size_t index, std::size_t first, std::size_t count, std::string& out) const;
    void Expand(std::size_t index, std::string& out) const { Expand(index, 0, kAll, out); }

    // Width in pixels of line `index`, and of the widest line (a walk over
    // the whole text: worth keeping).
    int64_t Width(std::size_t index, const Advances& advances) const;
    int64_t MaxWidth(const Advances& advances) const;
    // The columns of line `index` that cover any of the pixels [left, right)
    // when the line starts at pixel 0. Nothing in sight: count 0, first and
    // x at the line's end.
    Piece InSight(std::size_t index, int64_t left, int64_t right, const Advances& advances) const;

private:
    struct Span {
        std::size_t begin;
        std::size_t end;
    };

    void Build();
    static std::size_t ColumnsOf(const char* begin, const char* end);

    std::string text_;
    std::vector<Span> lines_;
};
