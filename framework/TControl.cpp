#include "TControl.h"

TControl::TControl(TWindow* parent, int id, const char* text, int x, int y, int w, int h)
    : TWindow(parent, text), fromResource_(false)
{
    Attr.Id = id;
    Attr.X = x;
    Attr.Y = y;
    Attr.W = w;
    Attr.H = h;
    Attr.Style = WS_CHILD | WS_VISIBLE;
    Attr.ExStyle = 0;
}

TControl::TControl(TWindow* parent, int resourceId) : TWindow(parent), fromResource_(true)
{
    Attr.Id = resourceId;
    Attr.ExStyle = 0;
}

bool TControl::Create()
{
    if (fromResource_)
        return GetHandle() != nullptr;
    return TWindow::Create();
}

bool TControl::AttachToDialog(HWND dialog)
{
    if (!fromResource_ || GetHandle() != nullptr)
        return true;
    HWND control = GetDlgItem(dialog, Attr.Id);
    if (control == nullptr)
        return false;
    BindControl(control, false);
    return SetupWindow();
}

LRESULT TControl::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam)
{
    return DefaultProcessing(msg, wParam, lParam);
}

LRESULT TControl::Send(UINT msg, WPARAM wParam, LPARAM lParam) const
{
    return GetHandle() != nullptr ? SendMessageA(GetHandle(), msg, wParam, lParam) : 0;
}
