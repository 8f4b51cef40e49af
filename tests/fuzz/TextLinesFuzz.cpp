// Any bytes as a text for the text view: the lines, put back together with
// the breaks between them, give the text again; every window of columns
// and every piece in sight agrees with the whole expanded line.
#include "FuzzCheck.h"
#include "TextLines.h"

#include <algorithm>
#include <cstdint>
#include <string>

namespace {

// Advances from 0 to 15 pixels, varied by the input so that zero widths,
// equal widths and uneven ones all occur.
TextLines::Advances AdvancesFor(const uint8_t* data, size_t size)
{
    TextLines::Advances advances;
    const unsigned salt = size > 0 ? data[0] : 0;
    for (size_t c = 0; c < advances.size(); ++c)
        advances[c] = salt % 3 == 0 ? 8 : static_cast<int>((c * 7 + salt) % 16);
    return advances;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const char* text = reinterpret_cast<const char*>(data);
    const TextLines lines(text, size);
    Check(lines.Count() >= 1);
    const TextLines::Advances advances = AdvancesFor(data, size);

    size_t at = 0;
    size_t maxColumns = 0;
    int64_t maxWidth = 0;
    std::string whole;
    std::string part;
    for (size_t i = 0; i < lines.Count(); ++i) {
        const std::string_view line = lines.Line(i);
        // The line is the text from here, without any break inside it.
        Check(at + line.size() <= size && line == std::string_view(text + at, line.size()));
        Check(line.find_first_of("\r\n") == std::string_view::npos);
        at += line.size();
        if (i + 1 < lines.Count()) {
            Check(at < size && (text[at] == '\r' || text[at] == '\n'));
            at += text[at] == '\r' && at + 1 < size && text[at + 1] == '\n' ? 2 : 1;
        } else {
            Check(at == size);
        }

        lines.Expand(i, whole);
        Check(whole.size() == lines.Columns(i));
        Check(whole.find('\t') == std::string::npos);
        maxColumns = std::max(maxColumns, whole.size());
        int64_t width = 0;
        for (char c : whole)
            width += advances[static_cast<unsigned char>(c)];
        Check(width == lines.Width(i, advances));
        maxWidth = std::max(maxWidth, width);

        // Windows of columns, from lengths and offsets the input picks.
        const size_t first = line.empty() ? 0 : static_cast<unsigned char>(line[0]) % (whole.size() + 2);
        const size_t count = line.size() < 2 ? 3 : static_cast<unsigned char>(line[1]) % 40;
        lines.Expand(i, first, count, part);
        Check(part == (first < whole.size() ? whole.substr(first, count) : std::string()));

        // A piece in sight starts where its first column starts, and all of
        // it, and nothing past it, lies before the right edge.
        const int64_t left = static_cast<int64_t>(first) * 5 - 5;
        const int64_t right = left + 37;
        const TextLines::Piece piece = lines.InSight(i, left, right, advances);
        int64_t x = 0;
        for (size_t c = 0; c < piece.first && c < whole.size(); ++c)
            x += advances[static_cast<unsigned char>(whole[c])];
        Check(piece.first <= whole.size() && piece.x == x);
        Check(piece.first + piece.count <= whole.size());
        for (size_t c = piece.first; c < piece.first + piece.count; ++c) {
            Check(x < right);
            x += advances[static_cast<unsigned char>(whole[c])];
        }
        Check(piece.count == 0 || piece.x + advances[static_cast<unsigned char>(whole[piece.first])] > left);
        Check(piece.first + piece.count == whole.size() || x >= right || piece.count == 0);
    }
    Check(maxColumns == lines.MaxColumns());
    Check(lines.Columns(lines.WidestLine()) == maxColumns);
    Check(maxWidth == lines.MaxWidth(advances));
    return 0;
}
