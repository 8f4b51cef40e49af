// Any bytes as the setup's bitmap: decoding either refuses them or gives an
// image whose every pixel can be read inside the decoded rows.
#include "BmpImage.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    BmpImage image;
    if (!image.Parse(data, size)) {
        if (image.Ok() || image.Fail() == BmpImage::Error::None)
            std::abort();
        return 0;
    }
    if (image.Bits().size() < image.RowBytes() * static_cast<size_t>(image.Height()))
        std::abort();
    // Corners and a diagonal: enough to cover every row and the row ends.
    const int w = image.Width();
    const int h = image.Height();
    for (int y = 0; y < h; y += 1 + h / 64) {
        image.Color(0, y);
        image.Color(w - 1, y);
        image.Color(static_cast<int>(static_cast<long long>(y) * w / h), y);
    }
    image.Color(w, 0);
    image.Color(-1, h);
    return 0;
}
