#include "TDC.h"

#include "TBrush.h"
#include "TPalette.h"

#include <cstring>
#include <utility>

namespace {

int Length(const char* text, int length)
{
    return length < 0 ? static_cast<int>(std::strlen(text)) : length;
}

}  // namespace

TDC::TSelection::TSelection(HDC dc, HGDIOBJ previous, bool palette) : dc_(dc), previous_(previous), palette_(palette)
{
}

TDC::TSelection::TSelection(TSelection&& other) noexcept
    : dc_(other.dc_), previous_(std::exchange(other.previous_, nullptr)), palette_(other.palette_)
{
}

TDC::TSelection::~TSelection()
{
    if (previous_ == nullptr)
        return;
    if (palette_)
        ::SelectPalette(dc_, static_cast<HPALETTE>(previous_), FALSE);
    else
        ::SelectObject(dc_, previous_);
}

TDC::TSelection TDC::SelectObject(const TGdiBase& object)
{
    return TSelection(dc_, ::SelectObject(dc_, object.GetHandle()), false);
}

TDC::TSelection TDC::SelectPalette(const TPalette& palette, bool forceBackground)
{
    return TSelection(dc_, ::SelectPalette(dc_, palette.GetPalette(), forceBackground), true);
}

UINT TDC::RealizePalette()
{
    return ::RealizePalette(dc_);
}

TColor TDC::SetBkColor(TColor color)
{
    return TColor(::SetBkColor(dc_, color.Ref()));
}

int TDC::SetBkMode(int mode)
{
    return ::SetBkMode(dc_, mode);
}

TColor TDC::SetTextColor(TColor color)
{
    return TColor(::SetTextColor(dc_, color.Ref()));
}

int TDC::SetStretchBltMode(int mode)
{
    return ::SetStretchBltMode(dc_, mode);
}

void TDC::MoveTo(int x, int y)
{
    MoveToEx(dc_, x, y, nullptr);
}

void TDC::LineTo(int x, int y)
{
    ::LineTo(dc_, x, y);
}

void TDC::FillRect(const TRect& rect, const TBrush& brush)
{
    const RECT r = rect.ToRECT();
    ::FillRect(dc_, &r, brush.GetBrush());
}

void TDC::Rectangle(const TRect& rect)
{
    ::Rectangle(dc_, rect.left, rect.top, rect.right, rect.bottom);
}

void TDC::PatBlt(const TRect& rect, DWORD rop)
{
    ::PatBlt(dc_, rect.left, rect.top, rect.Width(), rect.Height(), rop);
}

void TDC::StretchBlt(const TRect& dest, const TDC& source, const TRect& sourceRect, DWORD rop)
{
    ::StretchBlt(dc_, dest.left, dest.top, dest.Width(), dest.Height(), source.dc_, sourceRect.left, sourceRect.top,
                 sourceRect.Width(), sourceRect.Height(), rop);
}

void TDC::TextOut(int x, int y, const char* text, int length)
{
    ::TextOutA(dc_, x, y, text, Length(text, length));
}

TSize TDC::GetTextExtent(const char* text, int length) const
{
    SIZE size = {0, 0};
    GetTextExtentPoint32A(dc_, text, Length(text, length), &size);
    return TSize(size.cx, size.cy);
}

bool TDC::CharWidths(UINT first, UINT last, int* widths) const
{
    return ::GetCharWidth32A(dc_, first, last, widths) != FALSE;
}

void TDC::IntersectClipRect(const TRect& rect)
{
    ::IntersectClipRect(dc_, rect.left, rect.top, rect.right, rect.bottom);
}
