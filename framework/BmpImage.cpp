#include "BmpImage.h"

#include <algorithm>

namespace {

constexpr size_t kFileHeaderSize = 14;
constexpr uint32_t kWindowsHeaderSize = 40;
constexpr uint32_t kCoreHeaderSize = 12;
constexpr uint32_t kUncompressed = 0;
constexpr uint32_t kRle8 = 1;
constexpr uint32_t kRle4 = 2;

uint16_t U16(const uint8_t* p)
{
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

uint32_t U32(const uint8_t* p)
{
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
           (static_cast<uint32_t>(p[3]) << 24);
}

int32_t I32(const uint8_t* p)
{
    return static_cast<int32_t>(U32(p));
}

bool DepthAccepted(uint16_t bits)
{
    return bits == 1 || bits == 4 || bits == 8 || bits == 24;
}

// Row length in bytes, rounded up to whole 32-bit words.
uint64_t RowBytesFor(uint64_t width, uint64_t bits)
{
    return (width * bits + 31) / 32 * 4;
}

// Sets pixel x of an unpacked row of `Bits` bits per pixel to `index`.
template <int Bits>
void SetPixel(uint8_t* row, uint32_t x, unsigned index);

template <>
void SetPixel<8>(uint8_t* row, uint32_t x, unsigned index)
{
    row[x] = static_cast<uint8_t>(index);
}

template <>
void SetPixel<4>(uint8_t* row, uint32_t x, unsigned index)
{
    uint8_t& byte = row[x / 2];
    byte = x % 2 == 0 ? static_cast<uint8_t>((byte & 0x0F) | (index << 4))
                      : static_cast<uint8_t>((byte & 0xF0) | (index & 0x0F));
}

// Pixel i of a run: at 4 bits an encoded run alternates between the two
// nibbles of its colour byte, and an absolute run takes two pixels a byte.
template <int Bits>
unsigned EncodedPixel(unsigned colour, unsigned i)
{
    if (Bits == 8)
        return colour;
    return i % 2 == 0 ? colour >> 4 : colour & 0x0F;
}

template <int Bits>
unsigned AbsolutePixel(const uint8_t* p, unsigned i)
{
    if (Bits == 8)
        return p[i];
    const unsigned pair = p[i / 2];
    return i % 2 == 0 ? pair >> 4 : pair & 0x0F;
}

// Unpacks the run-length codes src[0, srcSize) into `height` zeroed rows of
// `rowBytes` bytes at dst, bottom row first, `width` pixels a row. Runs and
// moves may reach into a row's padding, as coders that code whole stored
// rows write them; pixels there are dropped. Every run and move is checked
// against the padded rows before a pixel is set, every code against srcSize
// before it is read.
template <int Bits>
BmpImage::Error UnpackRuns(const uint8_t* src, size_t srcSize, uint8_t* dst, size_t rowBytes, uint32_t width,
                           uint32_t height)
{
    const uint8_t* p = src;
    const uint8_t* const end = src + srcSize;
    const uint32_t room = static_cast<uint32_t>(rowBytes * 8 / Bits);  // padding included
    uint32_t x = 0;
    uint32_t y = 0;  // the row, counted from the bottom; height: above the image
    // The pixels of a run of `count` from x that lie inside the width.
    auto shown = [&](unsigned count) { return x >= width ? 0 : std::min(count, width - x); };
    for (;;) {
        if (end - p < 2)
            return BmpImage::Error::RunsUnterminated;
        const unsigned count = p[0];
        const unsigned code = p[1];
        p += 2;
        if (count > 0) {
            if (y >= height || count > room - x)
                return BmpImage::Error::RunOutside;
            uint8_t* row = dst + y * rowBytes;
            for (unsigned i = 0, n = shown(count); i < n; ++i)
                SetPixel<Bits>(row, x + i, EncodedPixel<Bits>(code, i));
            x += count;
            continue;
        }
        switch (code) {
        case 0:  // end of the row
            if (y >= height)
                return BmpImage::Error::RunOutside;
            x = 0;
            ++y;
            break;
        case 1:  // end of the bitmap
            return BmpImage::Error::None;
        case 2: {  // move right and up
            if (end - p < 2)
                return BmpImage::Error::RunsUnterminated;
            const uint32_t dx = p[0];
            const uint32_t dy = p[1];
            p += 2;
            if (dx > room - x || dy > height - y)
                return BmpImage::Error::RunOutside;
            x += dx;
            y += dy;
            break;
        }
        default: {  // `code` pixels one by one, padded to an even byte count
            const size_t bytes = Bits == 8 ? code : (code + 1) / 2;
            const size_t padded = bytes + bytes % 2;
            if (static_cast<size_t>(end - p) < padded)
                return BmpImage::Error::RunsUnterminated;
            if (y >= height || code > room - x)
                return BmpImage::Error::RunOutside;
            uint8_t* row = dst + y * rowBytes;
            for (unsigned i = 0, n = shown(code); i < n; ++i)
                SetPixel<Bits>(row, x + i, AbsolutePixel<Bits>(p, i));
            x += code;
            p += padded;
            break;
        }
        }
    }
}

}  // namespace

bool BmpImage::Fail(Error error)
{
    error_ = error;
    header_ = BmpInfoHeader();
    colors_.clear();
    bits_.clear();
    return false;
}

bool BmpImage::Parse(const uint8_t* data, size_t size)
{
    Fail(Error::None);
    if (data == nullptr || size < kFileHeaderSize + 4)
        return Fail(Error::TooShort);
    if (data[0] != 'B' || data[1] != 'M')
        return Fail(Error::NoSignature);
    const uint64_t pixelOffset = U32(data + 10);
    const uint32_t headerSize = U32(data + kFileHeaderSize);
    if (headerSize != kWindowsHeaderSize && headerSize != kCoreHeaderSize)
        return Fail(Error::HeaderSize);
    if (size < kFileHeaderSize + headerSize)
        return Fail(Error::TooShort);

    const uint8_t* info = data + kFileHeaderSize;
    BmpInfoHeader h;
    int64_t width = 0;
    int64_t height = 0;
    uint64_t tableEntries = 0;
    size_t entrySize = 4;
    if (headerSize == kWindowsHeaderSize) {
        width = I32(info + 4);
        height = I32(info + 8);
        h.planes = U16(info + 12);
        h.bitCount = U16(info + 14);
        h.compression = U32(info + 16);
        h.xPelsPerMeter = I32(info + 24);
        h.yPelsPerMeter = I32(info + 28);
        tableEntries = U32(info + 32);
        h.clrImportant = U32(info + 36);
    } else {
        width = U16(info + 4);
        height = U16(info + 6);
        h.planes = U16(info + 8);
        h.bitCount = U16(info + 10);
        entrySize = 3;
    }
    if (h.planes != 1)
        return Fail(Error::Planes);
    if (!DepthAccepted(h.bitCount))
        return Fail(Error::BitCount);
    const bool runs = (h.compression == kRle8 && h.bitCount == 8) || (h.compression == kRle4 && h.bitCount == 4);
    if (h.compression != kUncompressed && (!runs || height < 0))
        return Fail(Error::Compressed);
    const int64_t rows = height < 0 ? -height : height;
    if (width <= 0 || width > kMaxSide || rows == 0 || rows > kMaxSide)
        return Fail(Error::Dimensions);
    const uint64_t rowBytes = RowBytesFor(static_cast<uint64_t>(width), h.bitCount);
    const uint64_t imageBytes = rowBytes * static_cast<uint64_t>(rows);
    if (runs && imageBytes > kMaxUnpackedRuns)
        return Fail(Error::Dimensions);

    // A depth of up to 8 bits indexes at most 2^bits colours; a 24-bit image
    // may carry a table for palette devices, never a larger one than 8 bits.
    const uint64_t depthColors = h.bitCount <= 8 ? (uint64_t{1} << h.bitCount) : 256;
    if (tableEntries == 0 && h.bitCount <= 8)
        tableEntries = depthColors;
    if (tableEntries > depthColors)
        return Fail(Error::ColorTable);
    const uint64_t tableStart = kFileHeaderSize + headerSize;
    const uint64_t tableEnd = tableStart + tableEntries * entrySize;
    if (tableEnd > size)
        return Fail(Error::ColorTable);
    if (pixelOffset < tableEnd)
        return Fail(Error::PixelOffset);

    // Plain rows take width x height; coded rows what the image-size field
    // says, or the rest of the file when it says nothing.
    if (pixelOffset > size)
        return Fail(Error::PixelsTruncated);
    const uint64_t available = size - pixelOffset;
    uint64_t storedBytes = imageBytes;
    if (runs) {
        storedBytes = U32(info + 20);
        if (storedBytes == 0)
            storedBytes = available;
    }
    if (storedBytes > available)
        return Fail(Error::PixelsTruncated);

    const uint8_t* pixels = data + pixelOffset;
    if (!runs) {
        bits_.assign(pixels, pixels + imageBytes);
    } else {
        bits_.assign(static_cast<size_t>(imageBytes), 0);
        const auto unpack = h.bitCount == 8 ? UnpackRuns<8> : UnpackRuns<4>;
        const Error error = unpack(pixels, static_cast<size_t>(storedBytes), bits_.data(),
                                   static_cast<size_t>(rowBytes), static_cast<uint32_t>(width),
                                   static_cast<uint32_t>(rows));
        if (error != Error::None)
            return Fail(error);
    }

    h.width = static_cast<int32_t>(width);
    h.height = static_cast<int32_t>(height);
    h.compression = kUncompressed;
    h.sizeImage = static_cast<uint32_t>(imageBytes);
    h.clrUsed = static_cast<uint32_t>(tableEntries);

    colors_.resize(static_cast<size_t>(tableEntries));
    const uint8_t* entry = data + tableStart;
    for (BmpColor& c : colors_) {
        c.blue = entry[0];
        c.green = entry[1];
        c.red = entry[2];
        entry += entrySize;
    }
    header_ = h;
    return true;
}

size_t BmpImage::RowBytes() const
{
    return static_cast<size_t>(RowBytesFor(static_cast<uint64_t>(header_.width), header_.bitCount));
}

const uint8_t* BmpImage::Row(int y) const
{
    if (!Ok() || y < 0 || y >= Height())
        return nullptr;
    const int stored = TopDown() ? y : Height() - 1 - y;
    return bits_.data() + static_cast<size_t>(stored) * RowBytes();
}

int BmpImage::Index(int x, int y) const
{
    const uint8_t* row = Row(y);
    if (row == nullptr || x < 0 || x >= Width() || header_.bitCount > 8)
        return -1;
    const int bits = header_.bitCount;
    const int perByte = 8 / bits;
    const uint8_t byte = row[x / perByte];
    const int shift = 8 - bits * (x % perByte + 1);
    return (byte >> shift) & ((1 << bits) - 1);
}

BmpColor BmpImage::Color(int x, int y) const
{
    BmpColor c;
    const uint8_t* row = Row(y);
    if (row == nullptr || x < 0 || x >= Width())
        return c;
    if (header_.bitCount == 24) {
        const uint8_t* p = row + static_cast<size_t>(x) * 3;
        c.blue = p[0];
        c.green = p[1];
        c.red = p[2];
        return c;
    }
    const int index = Index(x, y);
    if (index >= 0 && static_cast<size_t>(index) < colors_.size())
        c = colors_[static_cast<size_t>(index)];
    c.reserved = 0;
    return c;
}

const char* BmpImage::ErrorText(Error error)
{
    switch (error) {
    case Error::None:
        return "no error";
    case Error::TooShort:
        return "file shorter than its headers";
    case Error::NoSignature:
        return "no \"BM\" signature";
    case Error::HeaderSize:
        return "information header neither 40 nor 12 bytes";
    case Error::Planes:
        return "plane count other than 1";
    case Error::BitCount:
        return "bits per pixel not 1, 4, 8 or 24";
    case Error::Compressed:
        return "compression not accepted";
    case Error::Dimensions:
        return "width or height out of range";
    case Error::ColorTable:
        return "colour table too large or cut short";
    case Error::PixelOffset:
        return "pixel rows start inside the headers";
    case Error::PixelsTruncated:
        return "pixel rows cut short";
    case Error::RunOutside:
        return "a coded run or move leaves the image";
    case Error::RunsUnterminated:
        return "coded rows end without their end-of-bitmap code";
    }
    return "unknown error";
}
