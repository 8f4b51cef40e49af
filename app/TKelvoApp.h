// The setup program's application object: before the first window it
// writes the working files, performs the uninstaller's relaunch from the
// temporary folder, extracts the script and the display files from its own
// executable and sets the window title; then it makes the main frame around
// the wizard window.
#pragma once

#include "StartupRules.h"

#include "TApplication.h"

class TKelvoApp : public TApplication {
public:
    // 1: install mode, 2: uninstall mode.
    explicit TKelvoApp(int _Modo);  // NOLINT(bugprone-reserved-identifier)
    ~TKelvoApp() override;

    const int Modo;
    char Caption[startup::kCaptionSize] = "";

protected:
    void InitMainWindow() override;

private:
    void InitScript();
};
