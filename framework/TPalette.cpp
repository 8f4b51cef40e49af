#include "TPalette.h"

#include "TDib.h"

#include <vector>

namespace {

HPALETTE CreateFromDib(const TDib& dib)
{
    const int n = dib.NumColors();
    if (n <= 0)
        return nullptr;
    // LOGPALETTE ends in a one-entry array: room for n entries behind it.
    std::vector<BYTE> buffer(sizeof(LOGPALETTE) + static_cast<size_t>(n) * sizeof(PALETTEENTRY));
    auto* logical = reinterpret_cast<LOGPALETTE*>(buffer.data());
    logical->palVersion = 0x300;
    logical->palNumEntries = static_cast<WORD>(n);
    for (int i = 0; i < n; ++i) {
        const TColor c = dib.GetColor(i);
        logical->palPalEntry[i].peRed = c.Red();
        logical->palPalEntry[i].peGreen = c.Green();
        logical->palPalEntry[i].peBlue = c.Blue();
        logical->palPalEntry[i].peFlags = 0;
    }
    return CreatePalette(logical);
}

}  // namespace

TPalette::TPalette(const TDib& dib) : TGdiBase(CreateFromDib(dib), true)
{
}

TPalette::TPalette(HPALETTE handle, bool owned) : TGdiBase(handle, owned)
{
}

TPalette TPalette::Stock(int stockObject)
{
    return TPalette(static_cast<HPALETTE>(GetStockObject(stockObject)), false);
}

int TPalette::GetNumEntries() const
{
    WORD entries = 0;
    if (GetObjectA(GetHandle(), sizeof entries, &entries) == 0)
        return 0;
    return entries;
}

TColor TPalette::GetEntry(int index) const
{
    PALETTEENTRY entry = {};
    if (GetPaletteEntries(GetPalette(), static_cast<UINT>(index), 1, &entry) != 1)
        return TColor::Black;
    return TColor(entry.peRed, entry.peGreen, entry.peBlue);
}

bool TPalette::UnrealizeObject() const
{
    return ::UnrealizeObject(GetHandle()) != 0;
}
