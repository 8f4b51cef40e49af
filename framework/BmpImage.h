// A Windows bitmap file (BMP), decoded from a caller-owned byte buffer into
// the pieces of a packed device-independent bitmap: a 40-byte information
// header, a colour table of 4-byte entries and the pixel rows, always
// unpacked.
//
//   +--------------+------------------+--------------+-----+-------------+
//   | file header  | info header      | colour table | gap | pixel rows  |
//   | 14 bytes     | 40 or 12 bytes   | n entries    |     | rows x H    |
//   +--------------+------------------+--------------+-----+-------------+
//   ^ "BM"         ^ 14                              ^ offset (bytes 10..13)
//
//   file header : "BM", file size u32, reserved u32, pixel offset u32
//   40-byte form: size u32, width i32, height i32, planes u16, bits u16,
//                 compression u32, image size u32, x/y resolution i32 x 2,
//                 colours used u32, colours important u32
//                 colour entries: blue, green, red, reserved (4 bytes)
//   12-byte form: size u32, width u16, height u16, planes u16, bits u16
//                 colour entries: blue, green, red (3 bytes)
//   row         : width x bits, rounded up to a multiple of 4 bytes;
//                 bottom row first, or top row first when height < 0
//
// Run-length coded rows (40-byte form, bottom row first; compression 1 at 8
// bits, 2 at 4 bits) are a stream of byte pairs, read from the bottom left:
//
//   n c      (n > 0) n pixels of colour c; at 4 bits they alternate
//            between c's high and low nibble
//   0 0      end of the row: on to the start of the row above
//   0 1      end of the bitmap
//   0 2 x y  move right by x and up by y pixels
//   0 n ...  (n >= 3) n pixels given one by one (at 4 bits two a byte, high
//            nibble first), the bytes padded to an even count
//
// The stream is the image-size field's bytes from the pixel offset (the rest
// of the file when the field is 0). Pixels it never reaches are colour 0.
// Runs and moves may reach into the padding of a stored row (some coders
// code whole stored rows); pixels there are dropped.
//
// Accepted: one plane, 1/4/8/24 bits per pixel, uncompressed rows or the
// run-length codes above. The colour table holds the colours-used count when
// that is not 0 (40-byte form only), else 2/16/256 entries for 1/4/8 bits
// and none for 24.
//
// Safety promise: Parse never reads outside the buffer it is given, nor
// writes outside the rows it unpacks into, whatever the input; every size is
// computed in 64 bits and checked against the buffer before anything is
// copied, and every run and move against the image before a pixel is set.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// The 40-byte information header, field by field, as the platform lays it out.
struct BmpInfoHeader {
    uint32_t size = 40;
    int32_t width = 0;
    int32_t height = 0;  // negative: the rows run from the top down
    uint16_t planes = 1;
    uint16_t bitCount = 0;
    uint32_t compression = 0;  // always 0: the rows held are unpacked
    uint32_t sizeImage = 0;    // always the bytes of pixel rows held
    int32_t xPelsPerMeter = 0;
    int32_t yPelsPerMeter = 0;
    uint32_t clrUsed = 0;  // always the entries of the colour table held
    uint32_t clrImportant = 0;
};

// One colour-table entry, in the platform's byte order.
struct BmpColor {
    uint8_t blue = 0;
    uint8_t green = 0;
    uint8_t red = 0;
    uint8_t reserved = 0;

    bool operator==(const BmpColor& o) const { return blue == o.blue && green == o.green && red == o.red; }
};

class BmpImage {
public:
    enum class Error {
        None,
        TooShort,          // shorter than the headers it announces
        NoSignature,       // does not begin with "BM"
        HeaderSize,        // information header neither 40 nor 12 bytes
        Planes,            // plane count other than 1
        BitCount,          // not 1, 4, 8 or 24 bits per pixel
        Compressed,        // a compression other than the run-length codes
                           // of its depth, or coded rows from the top down
        Dimensions,        // width or height zero, negative or too large
        ColorTable,        // more colours than the depth allows, or cut short
        PixelOffset,       // rows start inside the headers or colour table
        PixelsTruncated,   // fewer row bytes than width x height need, or
                           // coded rows larger than the file
        RunOutside,        // a coded run or move leaves the image
        RunsUnterminated,  // coded rows end without the end-of-bitmap code
    };

    // Neither side may exceed this many pixels: far beyond any setup bitmap,
    // small enough that no size computed from it overflows.
    static constexpr int32_t kMaxSide = 32768;
    // A few bytes of run-length codes can describe a huge, mostly empty
    // image: its unpacked rows may not exceed this (4096 x 4096 at 8 bits).
    static constexpr uint64_t kMaxUnpackedRuns = uint64_t{16} << 20;

    // Decodes a whole file. On failure the image is left empty and Fail()
    // tells why.
    bool Parse(const uint8_t* data, size_t size);

    bool Ok() const { return error_ == Error::None && !bits_.empty(); }
    Error Fail() const { return error_; }
    static const char* ErrorText(Error error);

    // The pieces of the packed DIB; empty until a successful Parse.
    const BmpInfoHeader& Header() const { return header_; }
    const std::vector<BmpColor>& ColorTable() const { return colors_; }
    const std::vector<uint8_t>& Bits() const { return bits_; }

    int Width() const { return header_.width; }
    int Height() const { return header_.height < 0 ? -header_.height : header_.height; }
    bool TopDown() const { return header_.height < 0; }
    int BitCount() const { return header_.bitCount; }
    size_t RowBytes() const;

    // Colour-table index of the pixel (x, y), y counted from the top row;
    // -1 for a 24-bit image or a point outside the image.
    int Index(int x, int y) const;
    // Colour of the pixel (x, y), through the colour table where there is
    // one; black for an index beyond the table or a point outside.
    BmpColor Color(int x, int y) const;

private:
    bool Fail(Error error);
    const uint8_t* Row(int y) const;

    Error error_ = Error::None;
    BmpInfoHeader header_;
    std::vector<BmpColor> colors_;
    std::vector<uint8_t> bits_;
};
