// A device-independent bitmap read from a BMP file: the information header,
// colour table and pixel rows in the platform's packed layout. The file is
// decoded by the portable BmpImage, which refuses anything it cannot read
// safely; run-length coded rows arrive unpacked.
#pragma once

#include "TColor.h"
#include "TGdiBase.h"

#include <cstdint>
#include <memory>
#include <vector>

class TDib {
public:
    // Reads the whole file; null when it is missing, unreadable or not a
    // bitmap in an accepted form.
    static std::unique_ptr<TDib> Read(const char* fileName);

    TDib(const TDib&) = delete;
    TDib& operator=(const TDib&) = delete;

    const BITMAPINFO* GetInfo() const { return reinterpret_cast<const BITMAPINFO*>(info_.data()); }
    const void* GetBits() const { return bits_.data(); }
    int Width() const { return width_; }
    int Height() const { return height_; }        // always positive
    int NumColors() const { return numColors_; }  // entries of the colour table
    TColor GetColor(int index) const;

private:
    TDib() = default;

    std::vector<uint8_t> info_;  // BITMAPINFOHEADER and RGBQUAD entries
    std::vector<uint8_t> bits_;
    int width_ = 0;
    int height_ = 0;
    int numColors_ = 0;
};
