// The bitmap decoder: real files written by ImageMagick at every accepted
// depth and in both header forms, run-length coded files against their plain
// twins, and hostile files built here.
#include "BmpImage.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

// Files made by ImageMagick's `convert` in a folder of their own.
class BmpImageConverted : public ::testing::Test {
protected:
    // Runs convert with `arguments` (the output named OUT) and returns the
    // decoded file. Without ImageMagick the test fails: these checks must
    // never pass by being skipped.
    BmpImage Make(const std::string& arguments)
    {
        BmpImage image;
        if (std::system("convert -version >/dev/null 2>&1") != 0) {
            ADD_FAILURE() << "ImageMagick's `convert` is not installed; these tests need it "
                             "(apt-get install imagemagick)";
            return image;
        }
        const std::string out = folder_ / "out.bmp";
        std::string command = "convert " + arguments;
        command.replace(command.find("OUT"), 3, "'" + out + "'");
        if (std::system((command + " 2>/dev/null").c_str()) != 0) {
            ADD_FAILURE() << "convert failed: " << command;
            return image;
        }
        bytes_ = ReadFile(out);
        EXPECT_TRUE(image.Parse(bytes_.data(), bytes_.size())) << command << ": " << BmpImage::ErrorText(image.Fail());
        return image;
    }

    TempDir folder_{false};
    std::vector<uint8_t> bytes_;
};

BmpColor Rgb(uint8_t r, uint8_t g, uint8_t b)
{
    BmpColor c;
    c.red = r;
    c.green = g;
    c.blue = b;
    return c;
}

::testing::AssertionResult SameColor(const BmpColor& got, const BmpColor& want)
{
    if (got == want)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "got rgb(" << int(got.red) << "," << int(got.green) << "," << int(got.blue)
                                         << "), want rgb(" << int(want.red) << "," << int(want.green) << ","
                                         << int(want.blue) << ")";
}

const char kTwoColors[] = "-size 8x4 xc:navy -fill yellow -draw 'rectangle 0,0 3,1' -type Palette -colors 2 ";
const char kFourBands[] =
    "-size 16x4 xc:white -fill red -draw 'rectangle 0,0 3,3' -fill lime "
    "-draw 'rectangle 4,0 7,3' -fill blue -draw 'rectangle 8,0 11,3' -type Palette "
    "-compress none ";
const char kGradient[] = "-size 200x150 gradient:red-blue +dither -colors 200 -type Palette -compress none ";
// Noise at an odd width: short runs, and rows whose byte counts are odd.
const char kNoise[] = "-seed 3 -size 31x17 xc:gray +noise Random -colors 40 -type Palette ";
const char kNoise16[] = "-seed 5 -size 33x9 xc:gray +noise Random -colors 16 -type Palette ";
const char kTrueColor[] =
    "-size 7x3 xc:'rgb(10,20,30)' -fill 'rgb(200,100,50)' -draw 'point 0,0' "
    "-fill 'rgb(1,2,3)' -draw 'point 6,2' -type TrueColor ";

void ExpectTwoColors(const BmpImage& image)
{
    ASSERT_TRUE(image.Ok());
    EXPECT_EQ(image.BitCount(), 1);
    EXPECT_EQ(image.Width(), 8);
    EXPECT_EQ(image.Height(), 4);
    ASSERT_EQ(image.ColorTable().size(), 2u);
    const BmpColor navy = Rgb(0, 0, 128);
    const BmpColor yellow = Rgb(255, 255, 0);
    const auto& table = image.ColorTable();
    EXPECT_TRUE((table[0] == navy && table[1] == yellow) || (table[0] == yellow && table[1] == navy));
    EXPECT_TRUE(SameColor(image.Color(0, 0), yellow));
    EXPECT_TRUE(SameColor(image.Color(3, 1), yellow));
    EXPECT_TRUE(SameColor(image.Color(4, 0), navy));
    EXPECT_TRUE(SameColor(image.Color(0, 2), navy));
    EXPECT_TRUE(SameColor(image.Color(7, 3), navy));
    EXPECT_NE(image.Index(0, 0), image.Index(7, 3));
}

void ExpectFourBands(const BmpImage& image)
{
    ASSERT_TRUE(image.Ok());
    EXPECT_EQ(image.BitCount(), 4);
    EXPECT_EQ(image.Width(), 16);
    EXPECT_EQ(image.Height(), 4);
    EXPECT_EQ(image.ColorTable().size(), 16u);
    for (int y = 0; y < 4; ++y) {
        EXPECT_TRUE(SameColor(image.Color(0, y), Rgb(255, 0, 0)));
        EXPECT_TRUE(SameColor(image.Color(5, y), Rgb(0, 255, 0)));
        EXPECT_TRUE(SameColor(image.Color(11, y), Rgb(0, 0, 255)));
        EXPECT_TRUE(SameColor(image.Color(15, y), Rgb(255, 255, 255)));
    }
}

void ExpectGradient(const BmpImage& image)
{
    ASSERT_TRUE(image.Ok());
    EXPECT_EQ(image.BitCount(), 8);
    EXPECT_EQ(image.Width(), 200);
    EXPECT_EQ(image.Height(), 150);
    EXPECT_EQ(image.Header().sizeImage, 200u * 150u);
    EXPECT_TRUE(SameColor(image.Color(0, 0), Rgb(255, 0, 0)));
    EXPECT_TRUE(SameColor(image.Color(199, 149), Rgb(0, 0, 255)));
    int lastRed = 256;
    for (int y = 0; y < 150; ++y) {
        const BmpColor left = image.Color(0, y);
        EXPECT_TRUE(SameColor(image.Color(199, y), left)) << "row " << y;
        EXPECT_LE(left.red, lastRed) << "row " << y;
        lastRed = left.red;
    }
}

TEST_F(BmpImageConverted, TwoColorsKeepTheirOwnPalette)
{
    ExpectTwoColors(Make(std::string(kTwoColors) + "BMP3:OUT"));
}

TEST_F(BmpImageConverted, SixteenColorRows)
{
    ExpectFourBands(Make(std::string(kFourBands) + "BMP3:OUT"));
}

TEST_F(BmpImageConverted, TwoHundredByOneHundredFiftyAt256Colors)
{
    BmpImage image = Make(std::string(kGradient) + "BMP3:OUT");
    ExpectGradient(image);
    EXPECT_EQ(image.ColorTable().size(), image.Header().clrUsed);
}

TEST_F(BmpImageConverted, TrueColorHasNoColorTable)
{
    BmpImage image = Make(std::string(kTrueColor) + "BMP3:OUT");
    ASSERT_TRUE(image.Ok());
    EXPECT_EQ(image.BitCount(), 24);
    EXPECT_TRUE(image.ColorTable().empty());
    EXPECT_EQ(image.Index(0, 0), -1);
    EXPECT_EQ(image.RowBytes(), 24u);  // 21 bytes padded to a word
    EXPECT_TRUE(SameColor(image.Color(0, 0), Rgb(200, 100, 50)));
    EXPECT_TRUE(SameColor(image.Color(3, 1), Rgb(10, 20, 30)));
    EXPECT_TRUE(SameColor(image.Color(6, 2), Rgb(1, 2, 3)));
}

TEST_F(BmpImageConverted, CoreHeaderDecodesLikeItsWindowsForm)
{
    ExpectTwoColors(Make(std::string(kTwoColors) + "BMP2:OUT"));
    ExpectFourBands(Make(std::string(kFourBands) + "BMP2:OUT"));
    ExpectGradient(Make(std::string(kGradient) + "BMP2:OUT"));
    BmpImage color = Make(std::string(kTrueColor) + "BMP2:OUT");
    EXPECT_TRUE(SameColor(color.Color(0, 0), Rgb(200, 100, 50)));

    // The decoded form is always the 40-byte header with 4-byte entries.
    BmpImage image = Make(std::string(kGradient) + "BMP2:OUT");
    EXPECT_EQ(bytes_[14], 12);
    EXPECT_EQ(image.Header().size, 40u);
    EXPECT_EQ(image.Header().clrUsed, 256u);
    EXPECT_EQ(image.ColorTable().size(), 256u);
}

uint32_t U32At(const std::vector<uint8_t>& bytes, size_t at)
{
    return static_cast<uint32_t>(bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 |
                                 static_cast<uint32_t>(bytes[at + 3]) << 24);
}

void PutU32(std::vector<uint8_t>& bytes, size_t at, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        bytes[at + static_cast<size_t>(i)] = static_cast<uint8_t>(value >> (8 * i));
}

::testing::AssertionResult SamePixels(const BmpImage& got, const BmpImage& want)
{
    if (got.Width() != want.Width() || got.Height() != want.Height())
        return ::testing::AssertionFailure() << "size " << got.Width() << " x " << got.Height() << ", want "
                                             << want.Width() << " x " << want.Height();
    for (int y = 0; y < want.Height(); ++y)
        for (int x = 0; x < want.Width(); ++x)
            if (!(got.Color(x, y) == want.Color(x, y)))
                return ::testing::AssertionFailure() << "pixel (" << x << ", " << y
                                                     << "): " << SameColor(got.Color(x, y), want.Color(x, y)).message();
    return ::testing::AssertionSuccess();
}

// A deliberately plain run-length coder at `Bits` (8 or 4) bits, for what
// ImageMagick does not write: 4-bit files, and absolute runs. Three or more
// equal pixels become an encoded run, other stretches absolute runs (the
// last pixel or two of a row an encoded run); every row ends with
// end-of-row, the bitmap with end-of-bitmap.
template <int Bits>
std::vector<uint8_t> EncodeRuns(const BmpImage& plain)
{
    std::vector<uint8_t> out;
    const int w = plain.Width();
    for (int y = plain.Height() - 1; y >= 0; --y) {
        auto same = [&](int from) {
            int n = 1;
            while (from + n < w && n < 255 && plain.Index(from + n, y) == plain.Index(from, y))
                ++n;
            return n;
        };
        int x = 0;
        while (x < w) {
            const int run = same(x);
            if (run >= 3 || w - x < 3) {
                const int c = plain.Index(x, y);
                out.push_back(static_cast<uint8_t>(run));
                out.push_back(static_cast<uint8_t>(Bits == 8 ? c : c << 4 | c));
                x += run;
                continue;
            }
            int n = 3;
            while (x + n < w && n < 255 && same(x + n) < 3)
                ++n;
            out.push_back(0);
            out.push_back(static_cast<uint8_t>(n));
            const size_t first = out.size();
            for (int i = 0; i < n; i += 8 / Bits) {
                if (Bits == 8)
                    out.push_back(static_cast<uint8_t>(plain.Index(x + i, y)));
                else
                    out.push_back(
                        static_cast<uint8_t>(plain.Index(x + i, y) << 4 | (i + 1 < n ? plain.Index(x + i + 1, y) : 0)));
            }
            if ((out.size() - first) % 2 != 0)
                out.push_back(0);
            x += n;
        }
        out.push_back(0);
        out.push_back(0);
    }
    out.push_back(0);
    out.push_back(1);
    return out;
}

// The plain file `bytes` with its rows replaced by `stream`.
std::vector<uint8_t> WithRuns(const std::vector<uint8_t>& bytes, uint32_t compression,
                              const std::vector<uint8_t>& stream)
{
    std::vector<uint8_t> coded(bytes.begin(), bytes.begin() + U32At(bytes, 10));
    coded.insert(coded.end(), stream.begin(), stream.end());
    PutU32(coded, 2, static_cast<uint32_t>(coded.size()));
    PutU32(coded, 30, compression);
    PutU32(coded, 34, static_cast<uint32_t>(stream.size()));
    return coded;
}

TEST_F(BmpImageConverted, RunLengthCodedFilesShowTheirPlainTwinsPixels)
{
    // ImageMagick codes runs at 8 bits only (fewer colours are widened to
    // 8 bits), and as encoded runs only.
    for (const char* picture : {kGradient, kFourBands, kTwoColors, kNoise}) {
        const BmpImage plain = Make(std::string(picture) + "-compress none BMP3:OUT");
        const BmpImage coded = Make(std::string(picture) + "-compress RLE BMP3:OUT");
        ASSERT_EQ(U32At(bytes_, 30), 1u) << picture;
        EXPECT_EQ(bytes_[28], 8) << picture;
        EXPECT_TRUE(SamePixels(coded, plain)) << picture;
        EXPECT_EQ(coded.Header().compression, 0u);
        EXPECT_EQ(coded.Header().sizeImage, coded.RowBytes() * static_cast<size_t>(coded.Height()));
        EXPECT_EQ(coded.Bits().size(), coded.Header().sizeImage);
    }
}

TEST_F(BmpImageConverted, OwnRunLengthCodesAtBothDepths)
{
    for (const char* picture : {kFourBands, kNoise16, kNoise, kGradient}) {
        const BmpImage plain = Make(std::string(picture) + "-compress none BMP3:OUT");
        ASSERT_TRUE(plain.BitCount() == 4 || plain.BitCount() == 8) << picture;
        const bool four = plain.BitCount() == 4;
        const std::vector<uint8_t> stream = four ? EncodeRuns<4>(plain) : EncodeRuns<8>(plain);
        const std::vector<uint8_t> file = WithRuns(bytes_, four ? 2 : 1, stream);
        BmpImage coded;
        ASSERT_TRUE(coded.Parse(file.data(), file.size())) << picture << ": " << BmpImage::ErrorText(coded.Fail());
        EXPECT_TRUE(SamePixels(coded, plain)) << picture;
        // Unpacked, the rows are the plain file's, padding included.
        EXPECT_EQ(coded.Bits(), plain.Bits()) << picture;
        EXPECT_EQ(coded.BitCount(), plain.BitCount());
        EXPECT_EQ(coded.ColorTable().size(), plain.ColorTable().size());
    }
}

// A valid 40-byte 8-bit file of w x h, table of `entries` colours, built here.
struct Builder {
    int32_t width = 3;
    int32_t height = 2;
    uint16_t bits = 8;
    uint32_t used = 4;
    uint32_t entries = 4;
    uint32_t headerSize = 40;
    uint16_t planes = 1;
    uint32_t compression = 0;
    uint32_t sizeImage = 0;
    int64_t offsetDelta = 0;      // added to the honest pixel offset
    size_t pixelBytes = 8;        // 2 rows of 4 bytes
    std::vector<uint8_t> stream;  // run-length codes, written instead of rows

    std::vector<uint8_t> Build() const
    {
        std::vector<uint8_t> f;
        auto u16 = [&f](uint32_t v) {
            f.push_back(static_cast<uint8_t>(v));
            f.push_back(static_cast<uint8_t>(v >> 8));
        };
        auto u32 = [&](uint32_t v) {
            u16(v & 0xFFFF);
            u16(v >> 16);
        };
        const uint32_t offset = static_cast<uint32_t>(14 + headerSize + entries * (headerSize == 12 ? 3 : 4) +
                                                      offsetDelta);
        f.push_back('B');
        f.push_back('M');
        u32(0);
        u32(0);
        u32(offset);
        u32(headerSize);
        if (headerSize == 12) {
            u16(static_cast<uint32_t>(width));
            u16(static_cast<uint32_t>(height));
            u16(planes);
            u16(bits);
        } else {
            u32(static_cast<uint32_t>(width));
            u32(static_cast<uint32_t>(height));
            u16(planes);
            u16(bits);
            u32(compression);
            u32(sizeImage);
            u32(0);
            u32(0);
            u32(used);
            u32(0);
            for (uint32_t i = 40; i < headerSize; ++i)
                f.push_back(0);
        }
        for (uint32_t i = 0; i < entries; ++i)
            for (int k = 0; k < (headerSize == 12 ? 3 : 4); ++k)
                f.push_back(static_cast<uint8_t>(i * 10 + k));
        while (offsetDelta > 0 && f.size() < offset)
            f.push_back(0xEE);
        if (compression == 1 || compression == 2)
            f.insert(f.end(), stream.begin(), stream.end());
        else
            for (size_t i = 0; i < pixelBytes; ++i)
                f.push_back(static_cast<uint8_t>(i % 4));
        return f;
    }
};

BmpImage::Error Decode(const std::vector<uint8_t>& bytes)
{
    BmpImage image;
    const bool ok = image.Parse(bytes.data(), bytes.size());
    EXPECT_EQ(ok, image.Ok());
    if (!ok) {
        EXPECT_TRUE(image.Bits().empty());
        EXPECT_TRUE(image.ColorTable().empty());
        EXPECT_EQ(image.Width(), 0);
    }
    return image.Fail();
}

TEST(BmpImageBuilt, HonestFileDecodes)
{
    Builder b;
    const std::vector<uint8_t> bytes = b.Build();
    BmpImage image;
    ASSERT_TRUE(image.Parse(bytes.data(), bytes.size()));
    EXPECT_EQ(image.ColorTable().size(), 4u);
    EXPECT_EQ(image.Header().sizeImage, 8u);  // computed: the header said 0
    EXPECT_EQ(image.Index(0, 1), 0);          // bottom row stored first
    EXPECT_EQ(image.Index(2, 0), 2);
    EXPECT_TRUE(SameColor(image.Color(1, 0), Rgb(12, 11, 10)));
}

TEST(BmpImageBuilt, TopDownRowsAndGapAfterTable)
{
    Builder b;
    b.height = -2;
    b.offsetDelta = 6;  // six unused bytes between table and rows
    b.pixelBytes = 8;
    std::vector<uint8_t> bytes = b.Build();
    bytes[bytes.size() - 4] = 3;  // second stored row, first pixel
    BmpImage image;
    ASSERT_TRUE(image.Parse(bytes.data(), bytes.size()));
    EXPECT_TRUE(image.TopDown());
    EXPECT_EQ(image.Height(), 2);
    EXPECT_EQ(image.Header().height, -2);
    EXPECT_EQ(image.Index(0, 1), 3);
    EXPECT_EQ(image.Index(0, 0), 0);
    EXPECT_EQ(image.Bits().front(), 0);  // the gap's 0xEE bytes are not pixels
}

TEST(BmpImageBuilt, HeaderFormsAndFieldsRefused)
{
    Builder b;
    b.headerSize = 108;  // a later header form
    EXPECT_EQ(Decode(b.Build()), BmpImage::Error::HeaderSize);
    b = Builder();
    b.planes = 2;
    EXPECT_EQ(Decode(b.Build()), BmpImage::Error::Planes);
    for (uint16_t bits : {0, 2, 16, 32}) {
        b = Builder();
        b.bits = bits;
        EXPECT_EQ(Decode(b.Build()), BmpImage::Error::BitCount) << bits;
    }
    for (uint32_t compression : {2u, 3u, 4u, 5u}) {  // only code 1 goes with 8 bits
        b = Builder();
        b.compression = compression;
        EXPECT_EQ(Decode(b.Build()), BmpImage::Error::Compressed) << compression;
    }
    std::vector<uint8_t> bytes = Builder().Build();
    bytes[1] = 'A';
    EXPECT_EQ(Decode(bytes), BmpImage::Error::NoSignature);
}

TEST(BmpImageBuilt, ShortFilesNeverReadPastTheEnd)
{
    const std::vector<uint8_t> whole = Builder().Build();
    for (size_t n = 0; n < whole.size(); ++n) {
        // A copy of exactly n bytes, so that a sanitizer sees any overread.
        std::vector<uint8_t> cut(whole.begin(), whole.begin() + static_cast<long>(n));
        BmpImage image;
        EXPECT_FALSE(image.Parse(cut.empty() ? nullptr : cut.data(), cut.size())) << n;
    }
    BmpImage image;
    EXPECT_TRUE(image.Parse(whole.data(), whole.size()));
}

TEST(BmpImageBuilt, DimensionsRefused)
{
    const std::pair<int32_t, int32_t> bad[] = {{0, 2},
                                               {3, 0},
                                               {-3, 2},
                                               {INT32_MIN, 2},
                                               {3, INT32_MIN},
                                               {INT32_MAX, INT32_MAX},
                                               {BmpImage::kMaxSide + 1, 1},
                                               {1, -(BmpImage::kMaxSide + 1)}};
    for (const auto& [w, h] : bad) {
        Builder b;
        b.width = w;
        b.height = h;
        EXPECT_EQ(Decode(b.Build()), BmpImage::Error::Dimensions) << w << " x " << h;
    }
}

TEST(BmpImageBuilt, HugeButAllowedDimensionsMustFitTheFile)
{
    // 32768 x 32768 x 24 bits is 3 GiB of rows: the size is computed without
    // overflow and found missing from the file.
    Builder b;
    b.width = BmpImage::kMaxSide;
    b.height = BmpImage::kMaxSide;
    b.bits = 24;
    b.used = 0;
    b.entries = 0;
    EXPECT_EQ(Decode(b.Build()), BmpImage::Error::PixelsTruncated);
    b.height = -BmpImage::kMaxSide;
    EXPECT_EQ(Decode(b.Build()), BmpImage::Error::PixelsTruncated);
}

TEST(BmpImageBuilt, ColorTableLimits)
{
    Builder b;
    b.bits = 1;
    b.used = 3;  // more than one bit can index
    b.entries = 3;
    b.pixelBytes = 8;
    EXPECT_EQ(Decode(b.Build()), BmpImage::Error::ColorTable);

    b = Builder();
    b.used = 0xFFFFFFFF;  // and a table far beyond the file
    EXPECT_EQ(Decode(b.Build()), BmpImage::Error::ColorTable);

    b = Builder();
    b.used = 0;  // none given: 256 for 8 bits, but only 4 are there
    EXPECT_NE(Decode(b.Build()), BmpImage::Error::None);

    b = Builder();
    b.bits = 4;
    b.used = 0;
    b.entries = 16;
    BmpImage image;
    const std::vector<uint8_t> bytes = b.Build();
    ASSERT_TRUE(image.Parse(bytes.data(), bytes.size()));
    EXPECT_EQ(image.ColorTable().size(), 16u);

    b = Builder();
    b.bits = 24;
    b.used = 0;
    b.entries = 0;
    b.pixelBytes = 24;  // two rows of 3 x 3 bytes, padded to 12
    const std::vector<uint8_t> plain = b.Build();
    ASSERT_TRUE(image.Parse(plain.data(), plain.size()));
    EXPECT_TRUE(image.ColorTable().empty());
}

TEST(BmpImageBuilt, PixelOffsetMustLieBetweenTableAndEnd)
{
    Builder b;
    b.offsetDelta = -1;  // rows would start inside the colour table
    EXPECT_EQ(Decode(b.Build()), BmpImage::Error::PixelOffset);

    std::vector<uint8_t> bytes = Builder().Build();
    bytes[10] = 0xFF;  // offset far beyond the file
    bytes[11] = 0xFF;
    bytes[12] = 0xFF;
    bytes[13] = 0x7F;
    EXPECT_EQ(Decode(bytes), BmpImage::Error::PixelsTruncated);

    b = Builder();
    b.pixelBytes = 7;  // one byte of the last row missing
    EXPECT_EQ(Decode(b.Build()), BmpImage::Error::PixelsTruncated);
}

TEST(BmpImageBuilt, CoreHeaderBuiltByHand)
{
    Builder b;
    b.headerSize = 12;
    b.entries = 256;  // always the full table in this form
    b.bits = 8;
    const std::vector<uint8_t> bytes = b.Build();
    BmpImage image;
    ASSERT_TRUE(image.Parse(bytes.data(), bytes.size()));
    EXPECT_EQ(image.ColorTable().size(), 256u);
    EXPECT_TRUE(SameColor(image.ColorTable()[1], Rgb(12, 11, 10)));

    b.entries = 4;  // a short table: the rows would be read as colours
    EXPECT_NE(Decode(b.Build()), BmpImage::Error::None);
    b.entries = 256;
    b.width = 0;
    EXPECT_EQ(Decode(b.Build()), BmpImage::Error::Dimensions);
}

TEST(BmpImageBuilt, ReusedObjectForgetsTheOldImage)
{
    const std::vector<uint8_t> good = Builder().Build();
    BmpImage image;
    ASSERT_TRUE(image.Parse(good.data(), good.size()));
    std::vector<uint8_t> bad = good;
    bad[0] = 'X';
    EXPECT_FALSE(image.Parse(bad.data(), bad.size()));
    EXPECT_FALSE(image.Ok());
    EXPECT_TRUE(image.Bits().empty());
    EXPECT_EQ(image.Index(0, 0), -1);
    EXPECT_TRUE(SameColor(image.Color(0, 0), Rgb(0, 0, 0)));
}

// Bytes written as hex pairs: "02 01 00 01".
std::vector<uint8_t> Hex(const char* text)
{
    std::vector<uint8_t> bytes;
    for (const char* p = text; *p != '\0'; ++p) {
        if (*p != ' ') {
            bytes.push_back(static_cast<uint8_t>(std::stoi(std::string(p, 2), nullptr, 16)));
            ++p;
        }
    }
    return bytes;
}

// A run-length coded file of width x height at `bits` (8 or 4), 16 colours.
Builder Runs(uint16_t bits, int32_t width, int32_t height, const char* codes)
{
    Builder b;
    b.bits = bits;
    b.width = width;
    b.height = height;
    b.compression = bits == 8 ? 1 : 2;
    b.used = 16;
    b.entries = 16;
    b.stream = Hex(codes);
    return b;
}

TEST(BmpImageRuns, EveryCodeAtBothDepths)
{
    // 5 x 3 at 8 bits, from the bottom row up: an encoded run and an odd
    // absolute run whose padding byte would read as a run; a move right,
    // a pixel, a move right and up into the top row, and a run there.
    const std::vector<uint8_t> eight =
        Runs(8, 5, 3, "02 07 00 03 01 02 03 05 00 00  00 02 01 00 01 09 00 02 01 01 02 04 00 01").Build();
    BmpImage image;
    ASSERT_TRUE(image.Parse(eight.data(), eight.size())) << BmpImage::ErrorText(image.Fail());
    EXPECT_EQ(image.Bits(), Hex("07 07 01 02 03 00 00 00  00 09 00 00 00 00 00 00  "
                                "00 00 00 04 04 00 00 00"));
    EXPECT_EQ(image.Index(1, 1), 9);  // the middle row
    EXPECT_EQ(image.Index(4, 0), 4);  // the top row
    EXPECT_EQ(image.Header().compression, 0u);
    EXPECT_EQ(image.Header().sizeImage, 24u);

    // 9 x 2 at 4 bits: an encoded run alternating its two nibbles; absolute
    // runs of three pixels (two bytes, no padding) and of five (three bytes
    // and padding that would read as a run); a single pixel.
    const std::vector<uint8_t> four = Runs(4, 9, 2, "05 AB 00 00  00 03 12 30 00 05 45 67 80 EE 01 C0 00 01").Build();
    ASSERT_TRUE(image.Parse(four.data(), four.size())) << BmpImage::ErrorText(image.Fail());
    EXPECT_EQ(image.Bits(), Hex("AB AB A0 00 00 00 00 00  12 34 56 78 C0 00 00 00"));
    EXPECT_EQ(image.Index(8, 0), 0xC);
    EXPECT_EQ(image.Index(1, 1), 0xB);
}

TEST(BmpImageRuns, HostileCodesAreRefusedWithoutStrayReads)
{
    using E = BmpImage::Error;
    struct Case {
        uint16_t bits;
        int32_t width;  // two rows; a stored row holds 4 bytes: 4 pixels at 8 bits, 8 at 4
        const char* codes;
        E want;
        const char* what;
    };
    const Case cases[] = {
        {8, 4, "02 01 00 01", E::None, "honest"},
        {8, 4, "04 01 00 01", E::None, "a run up to the row's end"},
        {8, 3, "04 01 00 01", E::None, "a run up to the stored row's end"},
        {8, 4, "05 01 00 01", E::RunOutside, "a run past the row's end"},
        {8, 4, "03 01 02 01 00 01", E::RunOutside, "a second run past the row's end"},
        {8, 4, "00 05 01 02 03 04 05 00 00 01", E::RunOutside, "an absolute run past the end"},
        {8, 4, "00 00 00 00 01 07 00 01", E::RunOutside, "a run above the image"},
        {8, 4, "00 00 00 00 00 00 00 01", E::RunOutside, "an end of row above the image"},
        {8, 4, "00 02 04 00 00 01", E::None, "a move to the row's end"},
        {8, 4, "00 02 05 00 00 01", E::RunOutside, "a move out on the right"},
        {8, 4, "00 02 00 02 00 01", E::None, "a move to just above the image"},
        {8, 4, "00 02 00 03 00 01", E::RunOutside, "a move out at the top"},
        {8, 4, "00 02 03 00 02 01 00 01", E::RunOutside, "a run after a move, past the row's end"},
        {8, 4, "00 02 00 02 01 01 00 01", E::RunOutside, "a run after a move above the image"},
        {8, 4, "", E::RunsUnterminated, "no codes at all"},
        {8, 4, "02 01", E::RunsUnterminated, "no end of bitmap"},
        {8, 4, "02 01 00", E::RunsUnterminated, "a code cut in two"},
        {8, 4, "00 02 01", E::RunsUnterminated, "a move cut short"},
        {8, 4, "00 03 01 02 03", E::RunsUnterminated, "an odd absolute run without its padding"},
        {8, 4, "00 04 01 02", E::RunsUnterminated, "an absolute run cut short"},
        {4, 3, "03 12 00 01", E::None, "honest"},
        {4, 3, "08 12 00 01", E::None, "a run up to the stored row's end"},
        {4, 3, "09 12 00 01", E::RunOutside, "a run past the stored row's end"},
        {4, 3, "00 09 12 34 56 78 90 00 00 01", E::RunOutside, "an absolute run past it"},
        {4, 3, "00 03 12 30 00 01", E::None, "three pixels in two bytes, no padding"},
        {4, 3, "00 03 12 00 01", E::RunsUnterminated, "an absolute run swallowing the end code"},
        {4, 3, "00 02 08 00 00 01", E::None, "a move to the stored row's end"},
        {4, 3, "00 02 08 00 01 01 00 01", E::RunOutside, "a run from there"},
    };
    for (const Case& c : cases) {
        const std::vector<uint8_t> bytes = Runs(c.bits, c.width, 2, c.codes).Build();
        EXPECT_EQ(Decode(bytes), c.want) << c.bits << " bits, " << c.what;
    }
}

TEST(BmpImageRuns, PixelsInTheRowPaddingAreDropped)
{
    // As ImageMagick codes rows of widths that are not a multiple of four.
    const std::vector<uint8_t> eight = Runs(8, 5, 2, "08 07 00 00  00 08 01 02 03 04 05 06 07 08 00 01").Build();
    BmpImage image;
    ASSERT_TRUE(image.Parse(eight.data(), eight.size())) << BmpImage::ErrorText(image.Fail());
    EXPECT_EQ(image.Bits(), Hex("07 07 07 07 07 00 00 00  01 02 03 04 05 00 00 00"));
    const std::vector<uint8_t> four = Runs(4, 3, 2, "05 12 03 34 00 00  00 05 56 78 90 00 00 01").Build();
    ASSERT_TRUE(image.Parse(four.data(), four.size())) << BmpImage::ErrorText(image.Fail());
    EXPECT_EQ(image.Bits(), Hex("12 10 00 00  56 70 00 00"));
}

TEST(BmpImageRuns, TheImageSizeFieldBoundsTheCodes)
{
    using E = BmpImage::Error;
    Builder b = Runs(8, 4, 2, "02 01 00 00 01 03 00 01");
    b.sizeImage = 8;
    EXPECT_EQ(Decode(b.Build()), E::None);
    b.sizeImage = 9;  // larger than what the file holds
    EXPECT_EQ(Decode(b.Build()), E::PixelsTruncated);
    b.sizeImage = 0xFFFFFFFF;
    EXPECT_EQ(Decode(b.Build()), E::PixelsTruncated);
    b.sizeImage = 6;  // the end code lies beyond the field's bytes
    EXPECT_EQ(Decode(b.Build()), E::RunsUnterminated);
    b = Runs(8, 4, 2, "02 01 00 01 05 05 05 05");  // anything after the end code is ignored
    EXPECT_EQ(Decode(b.Build()), E::None);
}

TEST(BmpImageRuns, OnlyTheCodesOfTheirOwnDepthFromTheBottomUp)
{
    using E = BmpImage::Error;
    const std::pair<uint16_t, uint32_t> refused[] = {{4, 1}, {8, 2}, {1, 1}, {1, 2}, {24, 1}, {8, 3}, {4, 4}, {8, 5}};
    for (const auto& [bits, compression] : refused) {
        Builder b = Runs(bits == 4 ? 4 : 8, 4, 2, "00 01");
        b.bits = bits;
        b.used = b.entries = bits == 1 ? 2 : bits == 24 ? 0 : 16;
        b.compression = compression;
        EXPECT_EQ(Decode(b.Build()), E::Compressed) << bits << " bits, compression " << compression;
    }
    // Coded rows run from the bottom up: a top-down header is refused.
    EXPECT_EQ(Decode(Runs(8, 4, -2, "02 01 00 01").Build()), E::Compressed);
    EXPECT_EQ(Decode(Runs(4, 4, -2, "02 01 00 01").Build()), E::Compressed);
}

TEST(BmpImageRuns, AFewCodesCannotAskForAHugeImage)
{
    // 4096 x 4096 at 8 bits is the most a coded image may unpack to: eight
    // bytes of codes give that many pixels, all but four of colour 0.
    const std::vector<uint8_t> most = Runs(8, 4096, 4096, "00 02 FF FF 04 03 00 01").Build();
    BmpImage image;
    ASSERT_TRUE(image.Parse(most.data(), most.size())) << BmpImage::ErrorText(image.Fail());
    EXPECT_EQ(image.Bits().size(), size_t{4096} * 4096);
    EXPECT_EQ(image.Index(255, 4095 - 255), 3);
    EXPECT_EQ(image.Index(258, 4095 - 255), 3);
    EXPECT_EQ(image.Index(259, 4095 - 255), 0);
    EXPECT_EQ(image.Index(4095, 0), 0);
    EXPECT_EQ(Decode(Runs(8, 4096, 4097, "00 01").Build()), BmpImage::Error::Dimensions);
    EXPECT_EQ(Decode(Runs(4, BmpImage::kMaxSide, 1025, "00 01").Build()), BmpImage::Error::Dimensions);
}

// Every single-byte corruption of a real header: never a crash, and an
// accepted result always stays inside its own buffers.
TEST(BmpImageBuilt, EveryHeaderByteCorrupted)
{
    const std::vector<uint8_t> whole = Builder().Build();
    for (size_t i = 0; i < 14 + 40 + 16; ++i) {
        for (int value : {0x00, 0x01, 0x7F, 0x80, 0xFF}) {
            std::vector<uint8_t> bytes = whole;
            bytes[i] = static_cast<uint8_t>(value);
            BmpImage image;
            if (image.Parse(bytes.data(), bytes.size())) {
                EXPECT_EQ(image.Bits().size(), image.RowBytes() * static_cast<size_t>(image.Height()));
                EXPECT_EQ(image.ColorTable().size(), image.Header().clrUsed);
                for (int y = 0; y < image.Height(); ++y)
                    for (int x = 0; x < image.Width(); ++x)
                        image.Color(x, y);
            }
        }
    }
}

}  // namespace
