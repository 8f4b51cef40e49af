// A point and a size in device or client coordinates.
#pragma once

struct TPoint {
    int x = 0;
    int y = 0;

    constexpr TPoint() = default;
    constexpr TPoint(int _x, int _y) : x(_x), y(_y) {}
};

struct TSize {
    int cx = 0;
    int cy = 0;

    constexpr TSize() = default;
    constexpr TSize(int _cx, int _cy) : cx(_cx), cy(_cy) {}
};
