// The bitmap decoder: real files written by ImageMagick at every accepted
// depth and in both header forms, and hostile files built here.
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
class ConvertedBitmaps : public ::testing::Test {
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
        EXPECT_TRUE(image.Parse(bytes_.data(), bytes_.size()))
            << command << ": " << BmpImage::ErrorText(image.Fail());
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
    return ::testing::AssertionFailure()
           << "got rgb(" << int(got.red) << "," << int(got.green) << "," << int(got.blue)
           << "), want rgb(" << int(want.red) << "," << int(want.green) << "," << int(want.blue)
           << ")";
}

const char kTwoColors[] =
    "-size 8x4 xc:navy -fill yellow -draw 'rectangle 0,0 3,1' -type Palette -colors 2 ";
const char kFourBands[] =
    "-size 16x4 xc:white -fill red -draw 'rectangle 0,0 3,3' -fill lime "
    "-draw 'rectangle 4,0 7,3' -fill blue -draw 'rectangle 8,0 11,3' -type Palette "
    "-compress none ";
const char kGradient[] =
    "-size 200x150 gradient:red-blue +dither -colors 200 -type Palette -compress none ";
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

TEST_F(ConvertedBitmaps, TwoColorsKeepTheirOwnPalette)
{
    ExpectTwoColors(Make(std::string(kTwoColors) + "BMP3:OUT"));
}

TEST_F(ConvertedBitmaps, SixteenColorRows)
{
    ExpectFourBands(Make(std::string(kFourBands) + "BMP3:OUT"));
}

TEST_F(ConvertedBitmaps, TwoHundredByOneHundredFiftyAt256Colors)
{
    BmpImage image = Make(std::string(kGradient) + "BMP3:OUT");
    ExpectGradient(image);
    EXPECT_EQ(image.ColorTable().size(), image.Header().clrUsed);
}

TEST_F(ConvertedBitmaps, TrueColorHasNoColorTable)
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

TEST_F(ConvertedBitmaps, CoreHeaderDecodesLikeItsWindowsForm)
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

TEST_F(ConvertedBitmaps, RunLengthCodedRowsAreRefused)
{
    if (std::system("convert -version >/dev/null 2>&1") != 0)
        FAIL() << "ImageMagick's `convert` is not installed; this test needs it";
    const std::string out = folder_ / "rle.bmp";
    ASSERT_EQ(std::system(("convert -size 64x64 gradient:red-blue -type Palette -colors 200 "
                           "-compress RLE BMP3:'" + out + "'").c_str()),
              0);
    const std::vector<uint8_t> bytes = ReadFile(out);
    ASSERT_GT(bytes.size(), 34u);
    ASSERT_EQ(bytes[30], 1) << "expected an RLE8 file";
    BmpImage image;
    EXPECT_FALSE(image.Parse(bytes.data(), bytes.size()));
    EXPECT_EQ(image.Fail(), BmpImage::Error::Compressed);
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
    int64_t offsetDelta = 0;  // added to the honest pixel offset
    size_t pixelBytes = 8;    // 2 rows of 4 bytes

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
        const uint32_t offset =
            static_cast<uint32_t>(14 + headerSize + entries * (headerSize == 12 ? 3 : 4) + offsetDelta);
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
    for (uint32_t compression : {1u, 2u, 3u, 4u}) {
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
    const std::pair<int32_t, int32_t> bad[] = {
        {0, 2}, {3, 0}, {-3, 2}, {INT32_MIN, 2}, {3, INT32_MIN}, {INT32_MAX, INT32_MAX},
        {BmpImage::kMaxSide + 1, 1}, {1, -(BmpImage::kMaxSide + 1)}};
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
