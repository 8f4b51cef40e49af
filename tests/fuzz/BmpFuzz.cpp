// Any bytes as the setup's bitmap: decoding either refuses them or gives an
// image whose every pixel can be read inside the decoded rows. The same bytes
// are also tried as the run-length codes of a small image, behind headers
// chosen by their first two bytes, so that mutations land in the codes
// rather than in the headers in front of them.
#include "BmpImage.h"
#include "FuzzCheck.h"

#include <vector>

namespace {

void CheckDecoded(const BmpImage& image)
{
    Check(image.Bits().size() == image.RowBytes() * static_cast<size_t>(image.Height()));
    Check(image.Header().sizeImage == image.Bits().size());
    Check(image.Header().compression == 0);
    // Both ends of rows spread over the image, and a diagonal.
    const int w = image.Width();
    const int h = image.Height();
    for (int y = 0; y < h; y += 1 + h / 64) {
        image.Color(0, y);
        image.Color(w - 1, y);
        image.Color(static_cast<int>(static_cast<long long>(y) * w / h), y);
    }
    Check(image.Color(w, 0) == BmpColor{} && image.Color(-1, h) == BmpColor{});
    Check(image.Index(0, h) == -1);
}

void PutU32(std::vector<uint8_t>& file, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        file.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

// A 40-byte header file of up to 64 x 32 pixels, RLE8 or RLE4 by bit 0 of
// `shape`, 16 colours, with `codes` as its rows.
std::vector<uint8_t> CodedFile(uint8_t shape, uint8_t rows, const uint8_t* codes, size_t size)
{
    const bool four = (shape & 1) != 0;
    const uint32_t colours = 16;
    std::vector<uint8_t> file = {'B', 'M'};
    PutU32(file, 0);
    PutU32(file, 0);
    PutU32(file, 14 + 40 + colours * 4);
    PutU32(file, 40);
    PutU32(file, 1 + (shape >> 2));  // width 1 to 64
    PutU32(file, 1 + rows % 32);
    file.push_back(1);  // planes
    file.push_back(0);
    file.push_back(four ? 4 : 8);
    file.push_back(0);
    PutU32(file, four ? 2 : 1);
    PutU32(file, (shape & 2) != 0 ? static_cast<uint32_t>(size) : 0);  // both readings of "no size"
    PutU32(file, 0);
    PutU32(file, 0);
    PutU32(file, colours);
    PutU32(file, 0);
    for (uint32_t i = 0; i < colours; ++i)
        PutU32(file, i * 0x010101);
    file.insert(file.end(), codes, codes + size);
    return file;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    BmpImage image;
    if (image.Parse(data, size))
        CheckDecoded(image);
    else
        Check(!image.Ok() && image.Fail() != BmpImage::Error::None);

    if (size < 2)
        return 0;
    // Exactly as long as the codes need, so that a sanitizer sees any overread.
    const std::vector<uint8_t> file = CodedFile(data[0], data[1], data + 2, size - 2);
    BmpImage coded;
    if (!coded.Parse(file.data(), file.size())) {
        // Behind honest headers only the codes can be at fault.
        Check(coded.Fail() == BmpImage::Error::RunOutside || coded.Fail() == BmpImage::Error::RunsUnterminated);
        return 0;
    }
    CheckDecoded(coded);
    // Nothing after the end code counts: the same codes with bytes behind
    // them decode alike.
    std::vector<uint8_t> longer(data + 2, data + size);
    longer.insert(longer.end(), {0x00, 0x00, 0x05});
    const std::vector<uint8_t> padded = CodedFile(static_cast<uint8_t>(data[0] & ~2), data[1], longer.data(),
                                                  longer.size());
    BmpImage again;
    Check(again.Parse(padded.data(), padded.size()) && again.Bits() == coded.Bits());
    return 0;
}
