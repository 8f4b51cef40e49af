// An RGB colour, convertible to the platform's COLORREF.
#pragma once

#include <windows.h>

#include <cstdint>

class TColor {
public:
    constexpr TColor(uint8_t r, uint8_t g, uint8_t b) : value_(RgbValue(r, g, b)) {}
    explicit constexpr TColor(COLORREF value) : value_(value & 0xFFFFFFu) {}

    constexpr uint8_t Red() const { return static_cast<uint8_t>(value_); }
    constexpr uint8_t Green() const { return static_cast<uint8_t>(value_ >> 8); }
    constexpr uint8_t Blue() const { return static_cast<uint8_t>(value_ >> 16); }
    constexpr COLORREF Ref() const { return value_; }
    constexpr bool operator==(const TColor& o) const { return value_ == o.value_; }

    static const TColor Black;
    static const TColor Gray;    // 128, 128, 128
    static const TColor LtGray;  // 192, 192, 192
    static const TColor White;

private:
    static constexpr COLORREF RgbValue(uint8_t r, uint8_t g, uint8_t b)
    {
        return static_cast<COLORREF>(r) | (static_cast<COLORREF>(g) << 8) | (static_cast<COLORREF>(b) << 16);
    }

    COLORREF value_;
};

inline constexpr TColor TColor::Black{0, 0, 0};
inline constexpr TColor TColor::Gray{128, 128, 128};
inline constexpr TColor TColor::LtGray{192, 192, 192};
inline constexpr TColor TColor::White{255, 255, 255};
