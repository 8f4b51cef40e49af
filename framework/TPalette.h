// A logical palette: owned when made from a bitmap's colour table, borrowed
// when it wraps one of the platform's stock palettes.
#pragma once

#include "TColor.h"
#include "TGdiBase.h"

class TDib;

class TPalette : public TGdiBase {
public:
    // One entry per colour-table entry, in table order, flags 0. Holds no
    // palette for a bitmap without a colour table.
    explicit TPalette(const TDib& dib);

    // Wraps a stock palette (DEFAULT_PALETTE) without owning it.
    static TPalette Stock(int stockObject);

    HPALETTE GetPalette() const { return static_cast<HPALETTE>(GetHandle()); }
    int GetNumEntries() const;
    TColor GetEntry(int index) const;
    bool UnrealizeObject() const;

private:
    TPalette(HPALETTE handle, bool owned);
};
