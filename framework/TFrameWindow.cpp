#include "TFrameWindow.h"

TFrameWindow::TFrameWindow(TWindow* parent, const char* title, std::unique_ptr<TWindow> client, bool shrinkToClient)
    : TWindow(parent, title), client_(std::move(client)), shrinkToClient_(shrinkToClient)
{
    Attr.Style = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;
    Attr.X = Attr.Y = CW_USEDEFAULT;
    if (client_) {
        AdoptChild(client_.get());
        // A plain child without frame; whether it clips its children is its own choice.
        client_->Attr.Style = (client_->Attr.Style & WS_CLIPCHILDREN) | WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS;
        if (!shrinkToClient_) {
            Attr.W = client_->Attr.W;
            Attr.H = client_->Attr.H;
        }
    }
}

TFrameWindow::~TFrameWindow() = default;

bool TFrameWindow::Create()
{
    if (shrinkToClient_ && client_) {
        RECT r = {0, 0, client_->Attr.W, client_->Attr.H};
        AdjustWindowRectEx(&r, Attr.Style, FALSE, Attr.ExStyle);
        Attr.W = r.right - r.left;
        Attr.H = r.bottom - r.top;
    }
    if (!TWindow::Create())
        return false;
    if (shrinkToClient_ && client_) {
        // The caption's real height can differ from the metrics: correct it.
        const TRect area = GetClientRect();
        const int dw = client_->Attr.W - area.Width();
        const int dh = client_->Attr.H - area.Height();
        if (dw != 0 || dh != 0)
            SetWindowPos(GetHandle(), nullptr, 0, 0, Attr.W + dw, Attr.H + dh,
                         SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    return true;
}

void TFrameWindow::SetIcon(HINSTANCE module, int resId)
{
    icon_ = LoadIconA(module, MAKEINTRESOURCEA(resId));
    if (GetHandle() != nullptr) {
        SendMessageA(GetHandle(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon_));
        SendMessageA(GetHandle(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon_));
    }
}

bool TFrameWindow::SetupWindow()
{
    if (client_) {
        client_->Attr.X = 0;
        client_->Attr.Y = 0;
    }
    if (!TWindow::SetupWindow())
        return false;
    if (icon_ != nullptr) {
        SendMessageA(GetHandle(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon_));
        SendMessageA(GetHandle(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon_));
    }
    return true;
}

void TFrameWindow::OnCommand(int id, int notifyCode, HWND control)
{
    if (client_ && client_->GetHandle() != nullptr)
        SendMessageA(client_->GetHandle(), WM_COMMAND, MAKEWPARAM(id, notifyCode), reinterpret_cast<LPARAM>(control));
}

LRESULT TFrameWindow::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam)
{
    HWND client = client_ ? client_->GetHandle() : nullptr;
    switch (msg) {
    case WM_SIZE:
        if (client != nullptr && wParam != SIZE_MINIMIZED)
            MoveWindow(client, 0, 0, LOWORD(lParam), HIWORD(lParam), TRUE);
        return 0;
    case WM_ACTIVATE:
        if (LOWORD(wParam) == WA_INACTIVE) {
            HWND focus = GetFocus();
            if (focus != nullptr && IsChild(GetHandle(), focus))
                lastFocus_ = focus;
        }
        break;
    case WM_SETFOCUS:
        if (lastFocus_ != nullptr && IsWindow(lastFocus_) && IsChild(GetHandle(), lastFocus_))
            ::SetFocus(lastFocus_);
        else if (client != nullptr)
            ::SetFocus(client);
        return 0;
    case WM_NEXTDLGCTL: {
        // The dialog navigation asks the window it serves to move the focus
        // (arrow keys): a control named by wParam, or the next or previous
        // tab stop.
        HWND next = LOWORD(lParam) != 0 ? reinterpret_cast<HWND>(wParam)
                                        : GetNextDlgTabItem(GetHandle(), GetFocus(), wParam != 0);
        if (next != nullptr)
            ::SetFocus(next);
        return 0;
    }
    case WM_PALETTECHANGED:
    case WM_QUERYNEWPALETTE:
    case DM_GETDEFID:
        // Only top-level windows hear of the system palette, and the dialog
        // navigation asks the top-level window for its default button: the
        // client holds both and answers for the frame.
        if (client != nullptr)
            return SendMessageA(client, msg, wParam, lParam);
        break;
    case WM_PARENTNOTIFY:
        if (LOWORD(wParam) == WM_DESTROY && client != nullptr && reinterpret_cast<HWND>(lParam) == client)
            PostMessageA(GetHandle(), WM_CLOSE, 0, 0);
        return 0;
    case WM_DESTROY:
        if (quitOnDestroy_)
            PostQuitMessage(0);
        return 0;
    }
    return TWindow::WindowProc(msg, wParam, lParam);
}
