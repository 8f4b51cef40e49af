#include "TAboutDialog.h"

#include "resource.h"

#include <windows.h>

#include <utility>

TAboutDialog::TAboutDialog(TWindow* parent, std::string _appName)
    : TDialog(parent, IDD_ABOUT), appName(std::move(_appName))
{
}

void TAboutDialog::SetupWindow()
{
    TDialog::SetupWindow();
    if (appName.empty())
        return;
    SetWindowTextA(GetHandle(), ("About " + appName).c_str());
    SetDlgItemTextA(GetHandle(), IDC_ABOUT_NAME, appName.c_str());
}
