#include "TextLines.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace {

// Position of the first `c` at or after `from`, or the text's size.
std::size_t Find(const std::string& text, char c, std::size_t from)
{
    return std::min(text.find(c, from), text.size());
}

std::size_t NextTabStop(std::size_t column)
{
    return (column / TextLines::kTabColumns + 1) * TextLines::kTabColumns;
}

// Calls visit(advance) for each display column of the line, in order, until
// it answers false.
template <typename Visit>
void EachColumn(std::string_view line, const TextLines::Advances& advances, Visit visit)
{
    const int blank = advances[static_cast<unsigned char>(' ')];
    std::size_t column = 0;
    for (const char c : line) {
        if (c == '\t') {
            for (const std::size_t stop = NextTabStop(column); column < stop; ++column)
                if (!visit(blank))
                    return;
        } else {
            if (!visit(advances[static_cast<unsigned char>(c)]))
                return;
            ++column;
        }
    }
}

}  // namespace

TextLines::TextLines()
{
    Build();
}

TextLines::TextLines(std::string text) : text_(std::move(text))
{
    Build();
}

TextLines::TextLines(const char* data, std::size_t size) : text_(data, size)
{
    Build();
}

void TextLines::Build()
{
    const std::size_t size = text_.size();
    // The next LF and the next CR are each searched for only once they lie
    // behind the current position, so a text of lone CRs (or lone LFs)
    // costs no more than one pass per kind of break.
    std::size_t nextLf = Find(text_, '\n', 0);
    std::size_t nextCr = Find(text_, '\r', 0);
    std::size_t begin = 0;
    for (;;) {
        if (nextLf < begin)
            nextLf = Find(text_, '\n', begin);
        if (nextCr < begin)
            nextCr = Find(text_, '\r', begin);
        const std::size_t end = std::min(nextLf, nextCr);
        lines_.push_back(Span{begin, end});
        if (end == size)
            break;
        const bool crLf = text_[end] == '\r' && end + 1 < size && text_[end + 1] == '\n';
        // A break as the text's last bytes leads to one more, empty, line.
        begin = end + (crLf ? 2 : 1);
    }
}

std::size_t TextLines::ColumnsOf(const char* begin, const char* end)
{
    std::size_t column = 0;
    const char* p = begin;
    while (p < end) {
        const void* tab = std::memchr(p, '\t', static_cast<std::size_t>(end - p));
        if (tab == nullptr)
            return column + static_cast<std::size_t>(end - p);
        column = NextTabStop(column + static_cast<std::size_t>(static_cast<const char*>(tab) - p));
        p = static_cast<const char*>(tab) + 1;
    }
    return column;
}

std::string_view TextLines::Line(std::size_t index) const
{
    if (index >= lines_.size())
        return std::string_view();
    const Span& span = lines_[index];
    return std::string_view(text_.data() + span.begin, span.end - span.begin);
}

std::size_t TextLines::Columns(std::size_t index) const
{
    const std::string_view line = Line(index);
    return ColumnsOf(line.data(), line.data() + line.size());
}

std::size_t TextLines::WidestLine() const
{
    std::size_t widest = 0;
    std::size_t most = 0;
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        const std::size_t columns = Columns(i);
        if (columns > most) {
            most = columns;
            widest = i;
        }
    }
    return widest;
}

void TextLines::Expand(std::size_t index, std::size_t first, std::size_t count, std::string& out) const
{
    out.clear();
    const std::string_view line = Line(index);
    const std::size_t last = count > kAll - first ? kAll : first + count;
    const char* p = line.data();
    const char* const end = p + line.size();
    std::size_t column = 0;
    while (p < end && column < last) {
        // A run without tabs: one column per byte.
        const void* hit = std::memchr(p, '\t', static_cast<std::size_t>(end - p));
        const char* const tab = hit != nullptr ? static_cast<const char*>(hit) : end;
        const std::size_t runEnd = column + static_cast<std::size_t>(tab - p);
        const std::size_t from = std::max(column, first);
        const std::size_t to = std::min(runEnd, last);
        if (from < to)
            out.append(p + (from - column), to - from);
        column = runEnd;
        p = tab;
        if (p == end || column >= last)
            break;
        // The tab itself: blanks up to the next stop.
        const std::size_t stop = NextTabStop(column);
        const std::size_t blankFrom = std::max(column, first);
        const std::size_t blankTo = std::min(stop, last);
        if (blankFrom < blankTo)
            out.append(blankTo - blankFrom, ' ');
        column = stop;
        ++p;
    }
}

int64_t TextLines::Width(std::size_t index, const Advances& advances) const
{
    int64_t width = 0;
    EachColumn(Line(index), advances, [&width](int advance) {
        width += advance;
        return true;
    });
    return width;
}

int64_t TextLines::MaxWidth(const Advances& advances) const
{
    int64_t widest = 0;
    for (std::size_t i = 0; i < lines_.size(); ++i)
        widest = std::max(widest, Width(i, advances));
    return widest;
}

TextLines::Piece TextLines::InSight(std::size_t index, int64_t left, int64_t right, const Advances& advances) const
{
    Piece piece;
    bool found = false;
    std::size_t column = 0;
    int64_t x = 0;
    EachColumn(Line(index), advances, [&](int advance) {
        if (!found && x + advance > left) {
            found = true;
            piece.first = column;
            piece.x = x;
        }
        if (found) {
            if (x >= right)
                return false;
            ++piece.count;
        }
        x += advance;
        ++column;
        return true;
    });
    if (!found) {
        piece.first = column;
        piece.x = x;
    }
    return piece;
}
