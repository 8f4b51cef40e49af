#include "PlaceholderBitmap.h"

#include "LittleEndian.h"
#include "PixelFont.h"

#include <algorithm>
#include <cstddef>

namespace {

constexpr int kMargin = 8;
constexpr uint32_t kTableEnd = 14 + 40 + 256 * 4;
constexpr int kTop = 40;
constexpr int kGradientColours = 254;
constexpr uint8_t kWhite = 254;
constexpr uint8_t kShadow = 255;

struct Rgb {
    int red, green, blue;
};
constexpr Rgb kTopColour{27, 58, 107};
constexpr Rgb kBottomColour{111, 168, 220};

// The words of `text`, each cut into pieces of at most `width` characters.
std::vector<std::string> Lines(const std::string& text, size_t width)
{
    std::vector<std::string> words;
    size_t at = 0;
    while (at < text.size()) {
        const size_t start = text.find_first_not_of(' ', at);
        if (start == std::string::npos)
            break;
        const size_t end = std::min(text.find(' ', start), text.size());
        for (size_t piece = start; piece < end; piece += width)
            words.push_back(text.substr(piece, std::min(width, end - piece)));
        at = end;
    }
    std::vector<std::string> lines;
    for (const std::string& word : words) {
        if (!lines.empty() && lines.back().size() + 1 + word.size() <= width)
            lines.back() += " " + word;
        else
            lines.push_back(word);
    }
    return lines;
}

class Canvas {
public:
    Canvas() : pixels_(static_cast<size_t>(PlaceholderBitmap::kWidth) * PlaceholderBitmap::kHeight)
    {
        for (int y = 0; y < PlaceholderBitmap::kHeight; ++y) {
            const auto colour = static_cast<uint8_t>(y * (kGradientColours - 1) / (PlaceholderBitmap::kHeight - 1));
            std::fill_n(pixels_.begin() + static_cast<std::ptrdiff_t>(y) * PlaceholderBitmap::kWidth,
                        PlaceholderBitmap::kWidth, colour);
        }
    }

    void Set(int x, int y, uint8_t colour)
    {
        if (x >= 0 && x < PlaceholderBitmap::kWidth && y >= 0 && y < PlaceholderBitmap::kHeight)
            pixels_[static_cast<size_t>(y) * PlaceholderBitmap::kWidth + static_cast<size_t>(x)] = colour;
    }

    // One line of text centred at `top`, each font pixel `scale` x `scale`,
    // with a shadow one pixel down and right.
    void Text(const std::string& line, int top, int scale)
    {
        const int advance = (PixelFont::kWidth + 1) * scale;
        const int left = (PlaceholderBitmap::kWidth - static_cast<int>(line.size()) * advance + scale) / 2;
        for (const uint8_t colour : {kShadow, kWhite}) {
            const int shift = colour == kShadow ? 1 : 0;
            for (size_t k = 0; k < line.size(); ++k) {
                for (int y = 0; y < PixelFont::kHeight * scale; ++y) {
                    for (int x = 0; x < PixelFont::kWidth * scale; ++x) {
                        if (PixelFont::Pixel(static_cast<unsigned char>(line[k]), x / scale, y / scale))
                            Set(left + static_cast<int>(k) * advance + x + shift, top + y + shift, colour);
                    }
                }
            }
        }
    }

    const std::vector<uint8_t>& Pixels() const { return pixels_; }

private:
    std::vector<uint8_t> pixels_;  // top row first
};

}  // namespace

std::vector<uint8_t> PlaceholderBitmap::Make(const std::string& name)
{
    Canvas canvas;
    // The largest letters in which the name takes at most a few lines.
    const int width = kWidth - 2 * kMargin;
    int y = kTop;
    for (const int scale : {3, 2, 1}) {
        const int advance = (PixelFont::kWidth + 1) * scale;
        const size_t perLine = static_cast<size_t>(width / advance);
        const std::vector<std::string> lines = Lines(name, perLine);
        const bool cut = std::any_of(lines.begin(), lines.end(), [perLine](const std::string& line) {
            return line.size() == perLine && line.find(' ') == std::string::npos;
        });
        if (scale > 1 && (cut || lines.size() > static_cast<size_t>(6 / scale)))
            continue;
        for (const std::string& line : lines) {
            canvas.Text(line, y, scale);
            y += (PixelFont::kHeight + 2) * scale;
        }
        break;
    }
    canvas.Text("Setup", y + 12, 2);

    // File header, 40-byte information header, 256 colours, the mark with
    // the name, rows bottom up.
    const std::string mark = kMark + name;
    const uint32_t rowBytes = (kWidth + 3) / 4 * 4;
    const uint32_t offset = kTableEnd + (static_cast<uint32_t>(mark.size()) + 1 + 3) / 4 * 4;
    const uint32_t imageSize = rowBytes * kHeight;
    std::vector<uint8_t> bmp = {'B', 'M'};
    AppendLe32(&bmp, offset + imageSize);
    AppendLe32(&bmp, 0);
    AppendLe32(&bmp, offset);
    AppendLe32(&bmp, 40);
    AppendLe32(&bmp, kWidth);
    AppendLe32(&bmp, kHeight);
    AppendLe16(&bmp, 1);  // planes
    AppendLe16(&bmp, 8);  // bits per pixel
    AppendLe32(&bmp, 0);  // no compression
    AppendLe32(&bmp, imageSize);
    AppendLe32(&bmp, 2835);  // 72 dots per inch
    AppendLe32(&bmp, 2835);
    AppendLe32(&bmp, 256);
    AppendLe32(&bmp, 0);
    for (int k = 0; k < 256; ++k) {
        Rgb c{255, 255, 255};
        if (k < kGradientColours) {
            const auto mix = [k](int from, int to) { return from + (to - from) * k / (kGradientColours - 1); };
            c = {mix(kTopColour.red, kBottomColour.red), mix(kTopColour.green, kBottomColour.green),
                 mix(kTopColour.blue, kBottomColour.blue)};
        } else if (k == kShadow) {
            c = {12, 26, 48};
        }
        bmp.push_back(static_cast<uint8_t>(c.blue));
        bmp.push_back(static_cast<uint8_t>(c.green));
        bmp.push_back(static_cast<uint8_t>(c.red));
        bmp.push_back(0);
    }
    bmp.insert(bmp.end(), mark.begin(), mark.end());
    bmp.resize(offset, 0);
    for (int y = kHeight - 1; y >= 0; --y) {
        const auto row = canvas.Pixels().begin() + static_cast<std::ptrdiff_t>(y) * kWidth;
        bmp.insert(bmp.end(), row, row + kWidth);
        bmp.insert(bmp.end(), rowBytes - kWidth, 0);
    }
    return bmp;
}

std::string PlaceholderBitmap::NameOf(const std::vector<uint8_t>& bmp)
{
    if (bmp.size() < kTableEnd + sizeof kMark || bmp[0] != 'B' || bmp[1] != 'M')
        return std::string();
    const uint32_t offset = static_cast<uint32_t>(bmp[10]) | (static_cast<uint32_t>(bmp[11]) << 8) |
                            (static_cast<uint32_t>(bmp[12]) << 16) | (static_cast<uint32_t>(bmp[13]) << 24);
    if (offset > bmp.size() || offset < kTableEnd + sizeof kMark)
        return std::string();
    const std::string gap(bmp.begin() + kTableEnd, bmp.begin() + offset);
    if (gap.compare(0, sizeof kMark - 1, kMark) != 0)
        return std::string();
    return gap.substr(sizeof kMark - 1, gap.find('\0') - (sizeof kMark - 1));
}
