// A window object and the one HWND it stands for.
//
// Messages reach the object through the virtual WindowProc, a plain switch;
// its default splits WM_COMMAND, WM_NOTIFY, WM_HSCROLL/WM_VSCROLL from
// controls and WM_PAINT into the hooks OnCommand, OnNotify, OnScroll and
// Paint, which derived classes override and switch on the control id.
//
// Binding `this` to the HWND happens in exactly one place, the "binding"
// section of TWindow.cpp:
//   - windows of the framework's own class: at WM_NCCREATE, from the
//     creation parameter, into GWLP_USERDATA;
//   - controls: subclassed right after creation (a dialog's controls when the
//     dialog reaches WM_INITDIALOG), `this` into GWLP_USERDATA;
//   - dialogs: at WM_INITDIALOG, from its parameter, into DWLP_USER.
// The binding ends at WM_NCDESTROY, or earlier when the object goes first.
// An object destroys only a window it created itself.
//
// A window registers with its parent object; the parent's SetupWindow
// creates the windows of its registered children (dialogs excepted), and its
// CanClose asks them. Objects are owned by whoever constructed them; the
// parent keeps plain pointers only.
#pragma once

#include "TRect.h"

#include <windows.h>

#include <string>
#include <vector>

class TDC;

class TWindow {
public:
    // Creation attributes: read when the window is made.
    struct TAttr {
        DWORD Style = 0;
        DWORD ExStyle = 0;
        int X = 0;
        int Y = 0;
        int W = 0;
        int H = 0;
        int Id = 0;
    };
    TAttr Attr;

    // A child window (WS_CHILD | WS_VISIBLE) of `parent`, or an overlapped
    // window when there is none.
    explicit TWindow(TWindow* parent, const char* title = nullptr);
    virtual ~TWindow();
    TWindow(const TWindow&) = delete;
    TWindow& operator=(const TWindow&) = delete;

    // Makes the window; its SetupWindow runs before this returns. False if
    // the platform refused, the parent has no window yet or SetupWindow
    // failed (the window is then gone again).
    virtual bool Create();

    HWND GetHandle() const { return hwnd_; }
    TWindow* GetParent() const { return parent_; }

    // Runs once the window exists: by default creates the windows of the
    // registered children. False when a window it needs cannot be made.
    virtual bool SetupWindow();
    // Called for WM_PAINT with the paint context, its erase flag and the
    // rectangle to paint.
    virtual void Paint(TDC& dc, bool erase, TRect& rect);
    // Whether the window may close: by default, whether every child agrees.
    virtual bool CanClose();
    // Asks CanClose, then destroys the window.
    void CloseWindow(int retVal = 0);
    virtual void Destroy(int retVal = 0);

    // The whole client area, with or without erasing the background.
    void Invalidate(bool erase = true);
    void EnableWindow(bool enable);
    bool IsWindowEnabled() const;
    // The window's text; kept for a window made later.
    void SetCaption(const char* text);
    int GetWindowText(char* buffer, int size) const;
    TRect GetClientRect() const;
    bool IsIconic() const;

    // A scroll-bar control's own move on a scroll code (with the message's
    // 16-bit thumb position), called by its parent just before the parent's
    // OnScroll. Other windows ignore it.
    virtual void ReflectScroll(int code, int thumb);
    // Binds the object to its control in a dialog made from a template:
    // false when the template has no such control. Other windows ignore it.
    virtual bool AttachToDialog(HWND dialog);

protected:
    virtual LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam);
    // What the window does without the object: the class's own procedure.
    LRESULT DefaultProcessing(UINT msg, WPARAM wParam, LPARAM lParam);

    // WM_COMMAND: a control's notification (or a menu or accelerator
    // command, control null).
    virtual void OnCommand(int id, int notifyCode, HWND control);
    virtual LRESULT OnNotify(int id, NMHDR* header);
    // A scroll code from the child scroll bar `id`, after the bar moved.
    virtual void OnScroll(int id, int code);

    // The window class: the framework's own unless a control names its own.
    virtual const char* ClassName() const;
    const char* Title() const { return title_.c_str(); }

    const std::vector<TWindow*>& Children() const { return children_; }
    // Moves the scroll bar `control`, if it is a child object of this
    // window, then calls OnScroll.
    void RouteScroll(HWND control, int code, int thumb);

    // Whether the parent's SetupWindow makes this window (dialogs: no).
    bool autoCreate_ = true;

    // A window made without parent becomes a child of this one (a frame's
    // client).
    void AdoptChild(TWindow* child);

    // Binding (TWindow.cpp).
    void BindHandle(HWND handle, bool owned);
    void BindControl(HWND handle, bool owned);
    void BindDialog(HWND handle);
    void ReleaseHandle();
    static TWindow* BoundWindow(HWND handle);
    static TWindow* BoundDialogObject(HWND dialog);
    // Runs a message through the object's procedure; unbinds at WM_NCDESTROY.
    LRESULT Dispatch(UINT msg, WPARAM wParam, LPARAM lParam);

private:
    static LRESULT CALLBACK WindowProcedure(HWND, UINT, WPARAM, LPARAM);
    static LRESULT CALLBACK ControlProcedure(HWND, UINT, WPARAM, LPARAM);
    static void RegisterOwnClass();

    enum class Binding { None, Window, Control, Dialog };

    HWND hwnd_ = nullptr;
    Binding binding_ = Binding::None;
    bool owned_ = false;              // destroy the window with the object
    WNDPROC originalProc_ = nullptr;  // a subclassed control's own procedure
    TWindow* parent_;
    std::vector<TWindow*> children_;
    std::string title_;
};
