// A dialog made from a dialog template of the program's resources, named by
// number or by name; run modally (Execute) or modelessly (Create). Controls
// constructed with a resource id are bound to the template's controls when
// the dialog reaches WM_INITDIALOG, before SetupWindow runs.
#pragma once

#include "TWindow.h"

#include <string>

class TDialog : public TWindow {
public:
    TDialog(TWindow* parent, int resourceId);
    TDialog(TWindow* parent, const char* resourceName);

    // Runs the dialog modally; the value given to CloseWindow or Destroy,
    // or -1 when the template cannot be made into a dialog or its
    // SetupWindow fails.
    int Execute();
    // Makes the dialog modelessly; a template with WS_VISIBLE shows at once.
    // False when it cannot be made or its SetupWindow fails.
    bool Create() override;
    // Ends a modal dialog with retVal, or destroys a modeless one.
    void Destroy(int retVal) override;

protected:
    // The dialog's message switch; TRUE when the message was handled.
    virtual INT_PTR DialogProc(UINT msg, WPARAM wParam, LPARAM lParam);
    // IDOK and IDCANCEL close the dialog with their id.
    void OnCommand(int id, int notifyCode, HWND control) override;

private:
    static INT_PTR CALLBACK DialogProcedure(HWND, UINT, WPARAM, LPARAM);
    LPCSTR Template() const;
    HWND ParentHandle() const;

    int resourceId_ = 0;
    std::string resourceName_;
    bool modal_ = false;
    bool setupFailed_ = false;
};
