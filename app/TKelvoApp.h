// The setup program's application object: before the first window it
// writes the working files, performs the uninstaller's relaunch from the
// temporary folder, extracts the script and the display files from its own
// executable and sets the window title; then it makes the main frame around
// the wizard window.
#pragma once

#include "CommandLine.h"
#include "StartupRules.h"

#include "Status.h"
#include "TApplication.h"

#include <memory>
#include <string>

class TRelaunch;

class TKelvoApp : public TApplication {
public:
    // 1: install mode, 2: uninstall mode. With the /S option, no window:
    // the procedure runs at once and its exit code is the run's.
    explicit TKelvoApp(int _Modo,  // NOLINT(bugprone-reserved-identifier)
                       const cmdline::Options& options = cmdline::Options());
    ~TKelvoApp() override;

    const int Modo;
    const cmdline::Options options;
    char Caption[startup::kCaptionSize] = "";
    // The application's name as the script gives it; empty when it has none.
    std::string AppName;

protected:
    void InitMainWindow() override;

private:
    // Writes the working files and extracts the script and display files;
    // after the uninstaller's relaunch *relaunched is true and the wizard
    // must not open. A failure is the message to end the program with.
    Status InitScript(bool* relaunched);
    // Extracts the script (and, as a rule, the display files) from
    // `package` into the current folder `runFolder`, or with no package
    // reads the script found there; sets the caption.
    Status ReadScriptSettings(const char* package, const char* runFolder);

    // The relaunched copy's link to the installed copy that started it.
    std::unique_ptr<TRelaunch> parent;
    // The installed copy's exit code after the relaunch: the copy's result
    // when unattended.
    int relaunchCode = 0;
};
