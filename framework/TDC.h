// A device context the caller does not own: drawing through it never
// releases it. TPaintDC, TClientDC and TMemoryDC add the ownership of the
// context they obtain.
//
// Selecting an object returns a TSelection that puts the previous object
// back when it goes out of scope, so a context is always handed back as it
// was received.
#pragma once

#include "TColor.h"
#include "TPoint.h"
#include "TRect.h"

#include <windows.h>

class TBrush;
class TGdiBase;
class TPalette;

class TDC {
public:
    class [[nodiscard]] TSelection {
    public:
        TSelection(TSelection&& other) noexcept;
        TSelection(const TSelection&) = delete;
        TSelection& operator=(const TSelection&) = delete;
        TSelection& operator=(TSelection&&) = delete;
        ~TSelection();

    private:
        friend class TDC;
        TSelection(HDC dc, HGDIOBJ previous, bool palette);

        HDC dc_;
        HGDIOBJ previous_;
        bool palette_;
    };

    explicit TDC(HDC dc) : dc_(dc) {}
    TDC(const TDC&) = delete;
    TDC& operator=(const TDC&) = delete;

    HDC GetHandle() const { return dc_; }

    TSelection SelectObject(const TGdiBase& object);
    TSelection SelectPalette(const TPalette& palette, bool forceBackground = false);
    UINT RealizePalette();

    TColor SetBkColor(TColor color);
    int SetBkMode(int mode);
    TColor SetTextColor(TColor color);
    int SetStretchBltMode(int mode);

    void MoveTo(int x, int y);
    void LineTo(int x, int y);
    void FillRect(const TRect& rect, const TBrush& brush);
    void Rectangle(const TRect& rect);
    void PatBlt(const TRect& rect, DWORD rop);
    void StretchBlt(const TRect& dest, const TDC& source, const TRect& sourceRect, DWORD rop);
    void TextOut(int x, int y, const char* text, int length = -1);
    TSize GetTextExtent(const char* text, int length = -1) const;
    // Advances of the characters first..last in the font selected now, into
    // widths (last - first + 1 of them); false if the platform could not.
    bool CharWidths(UINT first, UINT last, int* widths) const;
    // Narrows the clipping region to its intersection with rect.
    void IntersectClipRect(const TRect& rect);

protected:
    HDC dc_;
};
