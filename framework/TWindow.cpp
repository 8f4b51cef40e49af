#include "TWindow.h"

#include "TPaintDC.h"

#include <algorithm>

namespace {

const char kOwnClass[] = "KelvoWindow";

HINSTANCE Module()
{
    return GetModuleHandleA(nullptr);
}

}  // namespace

// ---- Binding ---------------------------------------------------------------
// The only code that stores or reads `this` in a window.

void TWindow::BindHandle(HWND handle, bool owned)
{
    hwnd_ = handle;
    owned_ = owned;
    binding_ = Binding::Window;
    SetWindowLongPtrA(handle, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

void TWindow::BindControl(HWND handle, bool owned)
{
    BindHandle(handle, owned);
    binding_ = Binding::Control;
    originalProc_ = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(handle, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&ControlProcedure)));
}

void TWindow::BindDialog(HWND handle)
{
    hwnd_ = handle;
    owned_ = true;
    binding_ = Binding::Dialog;
    SetWindowLongPtrA(handle, DWLP_USER, reinterpret_cast<LONG_PTR>(this));
}

void TWindow::ReleaseHandle()
{
    if (hwnd_ == nullptr)
        return;
    switch (binding_) {
    case Binding::Dialog:
        SetWindowLongPtrA(hwnd_, DWLP_USER, 0);
        break;
    case Binding::Control:
        SetWindowLongPtrA(hwnd_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(originalProc_));
        SetWindowLongPtrA(hwnd_, GWLP_USERDATA, 0);
        break;
    case Binding::Window:
    case Binding::None:
        SetWindowLongPtrA(hwnd_, GWLP_USERDATA, 0);
        break;
    }
    originalProc_ = nullptr;
    hwnd_ = nullptr;
    owned_ = false;
    binding_ = Binding::None;
}

TWindow* TWindow::BoundWindow(HWND handle)
{
    // Only a window running one of our procedures holds an object pointer.
    const LONG_PTR proc = GetWindowLongPtrA(handle, GWLP_WNDPROC);
    if (proc != reinterpret_cast<LONG_PTR>(&WindowProcedure) && proc != reinterpret_cast<LONG_PTR>(&ControlProcedure))
        return nullptr;
    return reinterpret_cast<TWindow*>(GetWindowLongPtrA(handle, GWLP_USERDATA));
}

TWindow* TWindow::BoundDialogObject(HWND dialog)
{
    return reinterpret_cast<TWindow*>(GetWindowLongPtrA(dialog, DWLP_USER));
}

LRESULT CALLBACK TWindow::WindowProcedure(HWND h, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTA*>(lParam);
        static_cast<TWindow*>(create->lpCreateParams)->BindHandle(h, true);
    }
    TWindow* self = reinterpret_cast<TWindow*>(GetWindowLongPtrA(h, GWLP_USERDATA));
    if (self == nullptr)
        return DefWindowProcA(h, msg, wParam, lParam);
    return self->Dispatch(msg, wParam, lParam);
}

LRESULT CALLBACK TWindow::ControlProcedure(HWND h, UINT msg, WPARAM wParam, LPARAM lParam)
{
    TWindow* self = reinterpret_cast<TWindow*>(GetWindowLongPtrA(h, GWLP_USERDATA));
    if (self == nullptr)
        return DefWindowProcA(h, msg, wParam, lParam);
    return self->Dispatch(msg, wParam, lParam);
}

LRESULT TWindow::Dispatch(UINT msg, WPARAM wParam, LPARAM lParam)
{
    const LRESULT result = WindowProc(msg, wParam, lParam);
    if (msg == WM_NCDESTROY)
        ReleaseHandle();
    return result;
}

// ---- Construction and creation ---------------------------------------------

TWindow::TWindow(TWindow* parent, const char* title) : parent_(parent), title_(title ? title : "")
{
    if (parent_ != nullptr) {
        Attr.Style = WS_CHILD | WS_VISIBLE;
        parent_->children_.push_back(this);
    } else {
        Attr.Style = WS_OVERLAPPEDWINDOW;
        Attr.X = Attr.Y = Attr.W = Attr.H = CW_USEDEFAULT;
    }
    // Dialog navigation (Tab, arrows) descends into windows holding controls.
    Attr.ExStyle = WS_EX_CONTROLPARENT;
}

TWindow::~TWindow()
{
    for (TWindow* child : children_)
        child->parent_ = nullptr;
    if (parent_ != nullptr) {
        auto& siblings = parent_->children_;
        siblings.erase(std::remove(siblings.begin(), siblings.end(), this), siblings.end());
    }
    if (hwnd_ != nullptr) {
        // Unbound first: no message of the dying window reaches a half-destroyed object.
        HWND handle = hwnd_;
        const bool owned = owned_;
        ReleaseHandle();
        if (owned)
            DestroyWindow(handle);
    }
}

void TWindow::AdoptChild(TWindow* child)
{
    child->parent_ = this;
    children_.push_back(child);
}

void TWindow::RegisterOwnClass()
{
    WNDCLASSEXA wc = {};
    wc.cbSize = sizeof wc;
    if (GetClassInfoExA(Module(), kOwnClass, &wc))
        return;
    wc.cbSize = sizeof wc;
    wc.style = CS_DBLCLKS;
    wc.lpfnWndProc = &WindowProcedure;
    wc.hInstance = Module();
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszClassName = kOwnClass;
    RegisterClassExA(&wc);
}

const char* TWindow::ClassName() const
{
    return kOwnClass;
}

bool TWindow::Create()
{
    if (hwnd_ != nullptr)
        return true;
    HWND parentHandle = parent_ != nullptr ? parent_->hwnd_ : nullptr;
    if (parent_ != nullptr && parentHandle == nullptr)
        return false;
    const char* className = ClassName();
    const bool ownClass = className == kOwnClass;
    if (ownClass)
        RegisterOwnClass();
    // A child's menu argument is its 16-bit control id (-1 becomes 0xFFFF).
    HMENU menu = (Attr.Style & WS_CHILD) != 0
                     ? reinterpret_cast<HMENU>(static_cast<UINT_PTR>(static_cast<WORD>(Attr.Id)))
                     : nullptr;
    HWND handle = CreateWindowExA(Attr.ExStyle, className, title_.c_str(), Attr.Style, Attr.X, Attr.Y, Attr.W, Attr.H,
                                  parentHandle, menu, Module(), ownClass ? this : nullptr);
    if (handle == nullptr)
        return false;
    if (!ownClass) {
        // Our own windows ran SetupWindow at WM_CREATE, which fails their
        // creation when it fails.
        BindControl(handle, true);
        if (!SetupWindow()) {
            ReleaseHandle();
            DestroyWindow(handle);
            return false;
        }
    }
    return true;
}

bool TWindow::SetupWindow()
{
    const std::vector<TWindow*> children = children_;
    for (TWindow* child : children)
        if (child->autoCreate_ && child->hwnd_ == nullptr && !child->Create())
            return false;
    return true;
}

void TWindow::Paint(TDC&, bool, TRect&)
{
}

bool TWindow::CanClose()
{
    const std::vector<TWindow*> children = children_;
    return std::all_of(children.begin(), children.end(),
                       [](TWindow* child) { return child->hwnd_ == nullptr || child->CanClose(); });
}

void TWindow::CloseWindow(int retVal)
{
    if (CanClose())
        Destroy(retVal);
}

void TWindow::Destroy(int)
{
    if (hwnd_ != nullptr)
        DestroyWindow(hwnd_);
}

// ---- Thin calls ------------------------------------------------------------

void TWindow::Invalidate(bool erase)
{
    if (hwnd_ != nullptr)
        InvalidateRect(hwnd_, nullptr, erase);
}

void TWindow::EnableWindow(bool enable)
{
    if (hwnd_ != nullptr)
        ::EnableWindow(hwnd_, enable);
}

bool TWindow::IsWindowEnabled() const
{
    return hwnd_ != nullptr && ::IsWindowEnabled(hwnd_);
}

void TWindow::SetCaption(const char* text)
{
    title_ = text ? text : "";
    if (hwnd_ != nullptr)
        ::SetWindowTextA(hwnd_, title_.c_str());
}

int TWindow::GetWindowText(char* buffer, int size) const
{
    if (size <= 0)
        return 0;
    buffer[0] = '\0';
    return hwnd_ != nullptr ? ::GetWindowTextA(hwnd_, buffer, size) : 0;
}

TRect TWindow::GetClientRect() const
{
    RECT r = {0, 0, 0, 0};
    if (hwnd_ != nullptr)
        ::GetClientRect(hwnd_, &r);
    return TRect(r);
}

bool TWindow::IsIconic() const
{
    return hwnd_ != nullptr && ::IsIconic(hwnd_);
}

void TWindow::ReflectScroll(int, int)
{
}

bool TWindow::AttachToDialog(HWND)
{
    return true;
}

// ---- Message routing -------------------------------------------------------

LRESULT TWindow::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_CREATE:
        // -1 makes CreateWindowEx fail, so that Create reports it.
        return SetupWindow() ? 0 : -1;
    case WM_COMMAND:
        OnCommand(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam));
        return 0;
    case WM_NOTIFY: {
        auto* header = reinterpret_cast<NMHDR*>(lParam);
        return OnNotify(static_cast<int>(header->idFrom), header);
    }
    case WM_HSCROLL:
    case WM_VSCROLL:
        if (lParam == 0)
            break;  // the window's own scroll bars
        RouteScroll(reinterpret_cast<HWND>(lParam), LOWORD(wParam), HIWORD(wParam));
        return 0;
    case WM_PAINT: {
        TPaintDC dc(hwnd_);
        TRect rect = dc.PaintRect();
        Paint(dc, dc.Erase(), rect);
        return 0;
    }
    case WM_CLOSE:
        CloseWindow();
        return 0;
    }
    return DefaultProcessing(msg, wParam, lParam);
}

LRESULT TWindow::DefaultProcessing(UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (originalProc_ != nullptr)
        return CallWindowProcA(originalProc_, hwnd_, msg, wParam, lParam);
    return DefWindowProcA(hwnd_, msg, wParam, lParam);
}

void TWindow::RouteScroll(HWND control, int code, int thumb)
{
    TWindow* bar = BoundWindow(control);
    if (bar == nullptr || bar->parent_ != this)
        return;
    bar->ReflectScroll(code, thumb);
    OnScroll(bar->Attr.Id, code);
}

void TWindow::OnCommand(int, int, HWND)
{
}

LRESULT TWindow::OnNotify(int, NMHDR*)
{
    return 0;
}

void TWindow::OnScroll(int, int)
{
}
