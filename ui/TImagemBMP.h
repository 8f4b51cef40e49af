// A borderless child window showing one bitmap file at its natural size,
// in the file's own colours: the view builds a logical palette from the
// bitmap's colour table and realises it whenever it paints, gains the
// focus, or hears that the system palette changed.
#pragma once

#include "TBitmap.h"
#include "TBrush.h"
#include "TDib.h"
#include "TPalette.h"
#include "TPoint.h"
#include "TWindow.h"

#include <cstdint>
#include <memory>

class TImagemBMP : public TWindow {
public:
    // Loads the file at once and takes the image's size (0 x 0 when the
    // file cannot be loaded) at `Point` of the parent's client area.
    TImagemBMP(TWindow* pai, const char* nomeArq, const TPoint& Point);
    ~TImagemBMP() override;

    // 1 when the file was loaded, 0 after the "Cannot open bitmap file" message.
    int LoadBitmapFile(const char* name);
    // Takes over the DIB and replaces the image, palette and size.
    void SetupFromDib(std::unique_ptr<TDib> _dib);
    // Realises the palette in the foreground, repainting if colours moved;
    // 0 without a palette.
    int UpdatePalette();

    void EvPaletteChanged(HWND hWndPalChg);
    int EvQueryNewPalette();
    void EvSetFocus(HWND lost);

    void Paint(TDC& DC, bool Erase, TRect& Rect) override;

    std::unique_ptr<TDib> dib;
    std::unique_ptr<TBitmap> bitmap;
    std::unique_ptr<TPalette> palette;
    std::unique_ptr<TBrush> bkgndBrush;
    long Rop;
    int PixelWidth = 0;
    int PixelHeight = 0;
    uint16_t Colors = 0;

protected:
    LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;
};
