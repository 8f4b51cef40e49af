// A device-dependent bitmap, owned.
#pragma once

#include "TGdiBase.h"

class TDC;
class TDib;

class TBitmap : public TGdiBase {
public:
    // Converts the DIB for the device of `dc`, through whatever palette is
    // selected and realised in it. Holds no bitmap when that fails.
    TBitmap(const TDC& dc, const TDib& dib);

    HBITMAP GetBitmap() const { return static_cast<HBITMAP>(GetHandle()); }
};
