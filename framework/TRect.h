// A rectangle: left and top included, right and bottom excluded, as the
// platform counts them.
#pragma once

#include <windows.h>

struct TRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;

    constexpr TRect() = default;
    constexpr TRect(int l, int t, int r, int b) : left(l), top(t), right(r), bottom(b) {}
    explicit TRect(const RECT& r) : left(r.left), top(r.top), right(r.right), bottom(r.bottom) {}

    // From a position and a size.
    static constexpr TRect FromSize(int x, int y, int w, int h) { return TRect(x, y, x + w, y + h); }

    constexpr int Width() const { return right - left; }
    constexpr int Height() const { return bottom - top; }

    RECT ToRECT() const
    {
        RECT r;
        r.left = left;
        r.top = top;
        r.right = right;
        r.bottom = bottom;
        return r;
    }
};
