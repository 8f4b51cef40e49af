// The About dialog (template 6): the application's name where the script
// gives one, else the template's own.
#pragma once

#include "TDialog.h"

#include <string>

class TAboutDialog : public TDialog {
public:
    TAboutDialog(TWindow* parent, std::string appName);

    bool SetupWindow() override;

private:
    const std::string appName;
};
