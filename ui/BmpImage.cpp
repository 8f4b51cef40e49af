#include "BmpImage.h"

namespace {

constexpr size_t kFileHeaderSize = 14;
constexpr uint32_t kWindowsHeaderSize = 40;
constexpr uint32_t kCoreHeaderSize = 12;
constexpr uint32_t kUncompressed = 0;

uint16_t U16(const uint8_t* p)
{
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

uint32_t U32(const uint8_t* p)
{
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
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
    if (h.compression != kUncompressed)
        return Fail(Error::Compressed);
    const int64_t rows = height < 0 ? -height : height;
    if (width <= 0 || width > kMaxSide || rows == 0 || rows > kMaxSide)
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

    const uint64_t imageBytes = RowBytesFor(static_cast<uint64_t>(width), h.bitCount) *
                                static_cast<uint64_t>(rows);
    if (pixelOffset > size || imageBytes > size - pixelOffset)
        return Fail(Error::PixelsTruncated);

    h.width = static_cast<int32_t>(width);
    h.height = static_cast<int32_t>(height);
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
    const uint8_t* pixels = data + pixelOffset;
    bits_.assign(pixels, pixels + imageBytes);
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
        return "compressed pixel rows";
    case Error::Dimensions:
        return "width or height out of range";
    case Error::ColorTable:
        return "colour table too large or cut short";
    case Error::PixelOffset:
        return "pixel rows start inside the headers";
    case Error::PixelsTruncated:
        return "pixel rows cut short";
    }
    return "unknown error";
}
