#include "TSProgresso.h"

#include "TBrush.h"
#include "TClientDC.h"
#include "TColor.h"
#include "TPaintDC.h"
#include "TPen.h"

TSProgresso::TSProgresso(TWindow* pai, int ResId, uint64_t VMax) : TStatic(pai, ResId), Max(VMax)
{
}

int TSProgresso::BarEnd(int right) const
{
    if (Max == 0)
        return 0;
    return static_cast<int>(static_cast<double>(right - 2) * static_cast<double>(Atual) / static_cast<double>(Max));
}

void TSProgresso::ValAtual(uint64_t VAtual)
{
    Atual = VAtual;
    // Updates come block by block: draw only when the bar has moved.
    if (BarEnd(GetClientRect().right) != drawnEnd_)
        EvPaint();
}

void TSProgresso::EvPaint()
{
    if (GetHandle() == nullptr)
        return;
    TClientDC dc(GetHandle());
    TRect rect = GetClientRect();
    Paint(dc, true, rect);
}

void TSProgresso::Paint(TDC& DC, bool, TRect& Rect)
{
    {
        const TBrush white(TColor::White);
        const TPen black(TColor::Black);
        auto brush = DC.SelectObject(white);
        auto pen = DC.SelectObject(black);
        DC.Rectangle(Rect);
    }
    const int x = BarEnd(Rect.right);
    drawnEnd_ = x;
    if (x <= Rect.left + 2)
        return;
    const TBrush red(TColor(255, 0, 0));
    const TPen redPen(TColor(255, 0, 0));
    auto brush = DC.SelectObject(red);
    auto pen = DC.SelectObject(redPen);
    DC.Rectangle(TRect(Rect.left + 2, Rect.top + 2, x, Rect.bottom - 2));
}

LRESULT TSProgresso::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam)
{
    // The control's own painting (a black rectangle) gives way to the bar,
    // drawn whole whatever part was invalid; the paint validates it.
    if (msg == WM_PAINT) {
        TPaintDC dc(GetHandle());
        TRect rect = GetClientRect();
        Paint(dc, true, rect);
        return 0;
    }
    return TStatic::WindowProc(msg, wParam, lParam);
}
