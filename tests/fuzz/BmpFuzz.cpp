// Any bytes as the setup's bitmap: decoding either refuses them or gives an
// image whose every pixel can be read inside the decoded rows.
#include "BmpImage.h"
#include "FuzzCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    BmpImage image;
    if (!image.Parse(data, size)) {
        Check(!image.Ok() && image.Fail() != BmpImage::Error::None);
        return 0;
    }
    Check(image.Bits().size() >= image.RowBytes() * static_cast<size_t>(image.Height()));
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
    return 0;
}
