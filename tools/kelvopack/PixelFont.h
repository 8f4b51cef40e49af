// A small bitmap font for the pictures kelvopack draws itself: 5 x 8 pixel
// cells (capitals 7 rows high, the last row for descenders) for the
// printable ASCII characters; the accented letters of code page 1252 are
// drawn as their plain letters, anything else as "?".
#pragma once

class PixelFont {
public:
    static constexpr int kWidth = 5;
    static constexpr int kHeight = 8;

    // Whether the pixel (x, y) of `c`'s cell is set; false outside the cell.
    static bool Pixel(unsigned char c, int x, int y);
};
