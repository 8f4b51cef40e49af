#include "TAboutDialog.h"

#include "resource.h"

#include <windows.h>

#include <utility>

TAboutDialog::TAboutDialog(TWindow* parent, std::string _appName)
    : TDialog(parent, IDD_ABOUT), appName(std::move(_appName))
{
}

bool TAboutDialog::SetupWindow()
{
    if (!TDialog::SetupWindow())
        return false;
    if (appName.empty())
        return true;
    SetWindowTextA(GetHandle(), ("About " + appName).c_str());
    SetDlgItemTextA(GetHandle(), IDC_ABOUT_NAME, appName.c_str());
    return true;
}
