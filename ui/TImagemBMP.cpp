#include "TImagemBMP.h"

#include "TApplication.h"
#include "TClientDC.h"
#include "TMemoryDC.h"

#include "Report.h"

namespace {

// The messages of the view carry the application's name; without one (the
// setup program's application has none) the caption is null, which the
// system shows as its default caption.
const char* Caption()
{
    const TApplication* app = TApplication::Current();
    return app != nullptr ? app->GetName() : nullptr;
}

}  // namespace

TImagemBMP::TImagemBMP(TWindow* pai, const char* nomeArq, const TPoint& Point)
    : TWindow(pai, ""), bkgndBrush(std::make_unique<TBrush>(TColor(GetSysColor(COLOR_WINDOW)))), Rop(SRCCOPY)
{
    LoadBitmapFile(nomeArq);
    Attr.X = Point.x;
    Attr.Y = Point.y;
    Attr.W = PixelWidth;
    Attr.H = PixelHeight;
    // No border, frame or maximise box; visible, clipping its siblings.
    Attr.Style &= ~(WS_BORDER | WS_DLGFRAME | WS_THICKFRAME | WS_MAXIMIZEBOX);
    Attr.Style |= WS_VISIBLE | WS_CLIPSIBLINGS;
}

TImagemBMP::~TImagemBMP()
{
    bitmap.reset();
    palette.reset();
    dib.reset();
    bkgndBrush.reset();
}

int TImagemBMP::LoadBitmapFile(const char* name)
{
    std::unique_ptr<TDib> loaded = TDib::Read(name);
    if (!loaded) {
        ShowMessage("Cannot open bitmap file", Caption(), kMbOk);
        return 0;
    }
    SetupFromDib(std::move(loaded));
    return 1;
}

void TImagemBMP::SetupFromDib(std::unique_ptr<TDib> _dib)
{
    dib = std::move(_dib);
    palette.reset();
    palette = std::make_unique<TPalette>(*dib);
    if (!palette->IsValid()) {
        ShowMessage("Dib has no color table, using default palette", Caption(), kMbOk);
        palette = std::make_unique<TPalette>(TPalette::Stock(DEFAULT_PALETTE));
    }

    bitmap.reset();
    {
        // Before the view has a window, the screen's context does the conversion.
        TClientDC dc(GetHandle());
        auto selected = dc.SelectPalette(*palette);
        dc.RealizePalette();
        bitmap = std::make_unique<TBitmap>(dc, *dib);
    }
    // Out of drawing resources: the view paints its background only.
    if (!bitmap->IsValid())
        bitmap.reset();
    PixelWidth = dib->Width();
    PixelHeight = dib->Height();
    UpdatePalette();
}

int TImagemBMP::UpdatePalette()
{
    if (!palette)
        return 0;
    if (GetHandle() != nullptr) {
        TClientDC dc(GetHandle());
        palette->UnrealizeObject();
        auto selected = dc.SelectPalette(*palette, false);
        if (dc.RealizePalette() > 0)
            Invalidate(false);
    }
    // Without a window there is nothing to realise into yet; the first paint does it.
    Colors = static_cast<uint16_t>(palette->GetNumEntries());
    return 1;
}

void TImagemBMP::EvPaletteChanged(HWND hWndPalChg)
{
    if (hWndPalChg != GetHandle())
        UpdatePalette();
}

int TImagemBMP::EvQueryNewPalette()
{
    return UpdatePalette();
}

void TImagemBMP::EvSetFocus(HWND)
{
    UpdatePalette();
}

LRESULT TImagemBMP::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_PALETTECHANGED:
        EvPaletteChanged(reinterpret_cast<HWND>(wParam));
        return 0;
    case WM_QUERYNEWPALETTE:
        return EvQueryNewPalette();
    case WM_SETFOCUS:
        EvSetFocus(reinterpret_cast<HWND>(wParam));
        return 0;
    }
    return TWindow::WindowProc(msg, wParam, lParam);
}

void TImagemBMP::Paint(TDC& DC, bool, TRect&)
{
    const TRect client = GetClientRect();
    auto brush = DC.SelectObject(*bkgndBrush);
    if (!bitmap) {
        DC.PatBlt(client, PATCOPY);
        return;
    }
    TMemoryDC memory(DC);
    auto image = memory.SelectObject(*bitmap);
    DC.SetStretchBltMode(COLORONCOLOR);
    auto screenPalette = DC.SelectPalette(*palette, false);
    DC.RealizePalette();
    auto memoryPalette = memory.SelectPalette(*palette, false);

    if (Rop == SRCCOPY && Colors == 2) {
        // A monochrome bitmap is drawn in its own two colours.
        DC.SetTextColor(palette->GetEntry(0));
        DC.SetBkColor(palette->GetEntry(1));
    }
    TRect dest = client;
    const TWindow* parent = GetParent();
    if (parent != nullptr && parent->IsIconic()) {
        const TRect area = parent->GetClientRect();
        dest = TRect::FromSize(0, 0, area.Width(), area.Height());
    }
    DC.StretchBlt(dest, memory, TRect(0, 0, PixelWidth, PixelHeight), static_cast<DWORD>(Rop));
}
