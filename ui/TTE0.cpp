#include "TTE0.h"

#include "TColor.h"
#include "TDC.h"

#include <cstring>

TTE0::TTE0(TWindow* pai, int X, int Y, int W, int H, const char* _titulo, const char* _texto, TButton* bBack,
           TButton* bNext, TButton* bCancel, const char* back, const char* next, const char* cancel)
    // The title is also the window's text, which no one sees but tools
    // that look for the page.
    : TWindow(pai, _titulo), titulo(_titulo), texto(_texto), background(TColor::LtGray),
      bold("ARIAL", 0, 0, 0, 0, FW_BOLD), normal("ARIAL", 0, 0, 0, 0, FW_NORMAL)
{
    SetupButton(bBack, back);
    SetupButton(bNext, next);
    SetupButton(bCancel, cancel);
    Attr.Style = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS;
    Attr.X = X;
    Attr.Y = Y;
    Attr.W = W;
    Attr.H = H;
}

TTE0::TTE0(TWindow* pai, const PageText& page, TButton* bBack, TButton* bNext, TButton* bCancel)
    : TTE0(pai, kLeft, kTop, pai->Attr.W - kRightGap, pai->Attr.H - kBottomGap, page.title, page.text, bBack, bNext,
           bCancel, page.back, page.next, page.cancel)
{
}

TTE0::~TTE0() = default;

void TTE0::SetupButton(TButton* button, const char* caption)
{
    if (button == nullptr)
        return;
    if (caption != nullptr) {
        button->SetCaption(caption);
        button->EnableWindow(true);
    } else {
        button->EnableWindow(false);
    }
}

bool TTE0::SetupWindow()
{
    return true;
}

LRESULT TTE0::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN: {
        // Radio buttons, frames and texts of the page on the page's grey.
        TDC dc(reinterpret_cast<HDC>(wParam));
        dc.SetBkColor(TColor::LtGray);
        return reinterpret_cast<LRESULT>(background.GetBrush());
    }
    }
    return TWindow::WindowProc(msg, wParam, lParam);
}

void TTE0::Paint(TDC& DC, bool, TRect& Rect)
{
    Rect = GetClientRect();
    DC.SetBkColor(TColor::LtGray);
    DC.SetBkMode(OPAQUE);
    DC.FillRect(Rect, background);

    {
        auto selected = DC.SelectObject(bold);
        if (titulo != nullptr)
            DC.TextOut(10, 10, titulo);
    }
    auto selected = DC.SelectObject(normal);
    if (texto == nullptr)
        return;
    // Every line feed starts a line, also a first or a last one.
    const char* line = texto;
    for (int k = 0;; ++k) {
        const char* end = std::strchr(line, '\n');
        const int length = static_cast<int>(end != nullptr ? end - line : std::strlen(line));
        DC.TextOut(10, 30 + 24 * k, line, length);
        if (end == nullptr)
            break;
        line = end + 1;
    }
}
