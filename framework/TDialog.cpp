#include "TDialog.h"

TDialog::TDialog(TWindow* parent, int resourceId) : TWindow(parent), resourceId_(resourceId)
{
    autoCreate_ = false;
}

TDialog::TDialog(TWindow* parent, const char* resourceName) : TWindow(parent), resourceName_(resourceName)
{
    autoCreate_ = false;
}

LPCSTR TDialog::Template() const
{
    return resourceName_.empty() ? MAKEINTRESOURCEA(resourceId_) : resourceName_.c_str();
}

HWND TDialog::ParentHandle() const
{
    return GetParent() != nullptr ? GetParent()->GetHandle() : nullptr;
}

int TDialog::Execute()
{
    modal_ = true;
    setupFailed_ = false;
    const INT_PTR result = DialogBoxParamA(GetModuleHandleA(nullptr), Template(), ParentHandle(), &DialogProcedure,
                                           reinterpret_cast<LPARAM>(this));
    modal_ = false;
    return static_cast<int>(result);
}

bool TDialog::Create()
{
    if (GetHandle() != nullptr)
        return true;
    modal_ = false;
    setupFailed_ = false;
    HWND dialog = CreateDialogParamA(GetModuleHandleA(nullptr), Template(), ParentHandle(), &DialogProcedure,
                                     reinterpret_cast<LPARAM>(this));
    return dialog != nullptr && !setupFailed_;
}

void TDialog::Destroy(int retVal)
{
    if (GetHandle() == nullptr)
        return;
    if (modal_)
        EndDialog(GetHandle(), retVal);
    else
        DestroyWindow(GetHandle());
}

INT_PTR CALLBACK TDialog::DialogProcedure(HWND h, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_INITDIALOG)
        reinterpret_cast<TDialog*>(lParam)->BindDialog(h);
    auto* self = static_cast<TDialog*>(BoundDialogObject(h));
    if (self == nullptr)
        return FALSE;
    const INT_PTR result = self->DialogProc(msg, wParam, lParam);
    if (msg == WM_NCDESTROY)
        self->ReleaseHandle();
    return result;
}

INT_PTR TDialog::DialogProc(UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_INITDIALOG: {
        bool made = true;
        for (TWindow* child : Children())
            made = made && child->AttachToDialog(GetHandle());
        if (!made || !SetupWindow()) {
            // A template without a control the object expects: the dialog
            // ends at once, Execute returning -1 and Create false.
            setupFailed_ = true;
            Destroy(-1);
        }
        return TRUE;
    }
    case WM_COMMAND:
        OnCommand(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam));
        return TRUE;
    case WM_HSCROLL:
    case WM_VSCROLL:
        if (lParam == 0)
            return FALSE;
        RouteScroll(reinterpret_cast<HWND>(lParam), LOWORD(wParam), HIWORD(wParam));
        return TRUE;
    }
    return FALSE;
}

void TDialog::OnCommand(int id, int notifyCode, HWND)
{
    if ((id == IDOK || id == IDCANCEL) && notifyCode == BN_CLICKED)
        CloseWindow(id);
}
