#include "TDib.h"

#include "BmpImage.h"

#include <cstring>

namespace {

// Far beyond any bitmap a setup shows; keeps a damaged size from asking for
// gigabytes.
constexpr uint64_t kMaxFileSize = uint64_t{64} << 20;

// The file's bytes, or an empty vector when it cannot be read whole.
std::vector<uint8_t> ReadFile(const char* fileName)
{
    std::vector<uint8_t> bytes;
    HANDLE file = CreateFileA(fileName, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                              nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return bytes;
    LARGE_INTEGER size;
    if (GetFileSizeEx(file, &size) && size.QuadPart > 0 && static_cast<uint64_t>(size.QuadPart) <= kMaxFileSize) {
        bytes.resize(static_cast<size_t>(size.QuadPart));
        DWORD got = 0;
        if (!::ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr) || got != bytes.size())
            bytes.clear();
    }
    CloseHandle(file);
    return bytes;
}

}  // namespace

std::unique_ptr<TDib> TDib::Read(const char* fileName)
{
    const std::vector<uint8_t> file = ReadFile(fileName);
    BmpImage image;
    if (file.empty() || !image.Parse(file.data(), file.size()))
        return nullptr;

    const BmpInfoHeader& h = image.Header();
    BITMAPINFOHEADER header = {};
    header.biSize = sizeof(BITMAPINFOHEADER);
    header.biWidth = h.width;
    header.biHeight = h.height;
    header.biPlanes = h.planes;
    header.biBitCount = h.bitCount;
    header.biCompression = BI_RGB;
    header.biSizeImage = h.sizeImage;
    header.biXPelsPerMeter = h.xPelsPerMeter;
    header.biYPelsPerMeter = h.yPelsPerMeter;
    header.biClrUsed = h.clrUsed;
    header.biClrImportant = h.clrImportant;

    const std::vector<BmpColor>& table = image.ColorTable();
    static_assert(sizeof(BmpColor) == sizeof(RGBQUAD), "colour entries share one layout");
    std::unique_ptr<TDib> dib(new TDib());
    dib->info_.resize(sizeof header + table.size() * sizeof(RGBQUAD));
    std::memcpy(dib->info_.data(), &header, sizeof header);
    if (!table.empty())
        std::memcpy(dib->info_.data() + sizeof header, table.data(), table.size() * sizeof(RGBQUAD));
    dib->bits_ = image.Bits();
    dib->width_ = image.Width();
    dib->height_ = image.Height();
    dib->numColors_ = static_cast<int>(table.size());
    return dib;
}

TColor TDib::GetColor(int index) const
{
    if (index < 0 || index >= numColors_)
        return TColor::Black;
    const RGBQUAD& q = GetInfo()->bmiColors[index];
    return TColor(q.rgbRed, q.rgbGreen, q.rgbBlue);
}
