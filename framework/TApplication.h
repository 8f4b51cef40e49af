// The application object: makes the main window (InitMainWindow, once) and
// runs the message loop until that window is gone. Keyboard messages for the
// main window (when it asks for it) and for modeless dialogs go through the
// dialog navigation first.
#pragma once

#include "TFrameWindow.h"

#include <windows.h>

#include <memory>
#include <string>

class TApplication {
public:
    // Without a name (null or empty) the application has none.
    explicit TApplication(const char* name = nullptr, HINSTANCE instance = nullptr);
    virtual ~TApplication();
    TApplication(const TApplication&) = delete;
    TApplication& operator=(const TApplication&) = delete;

    // InitMainWindow, then the message loop; the exit code of the loop, or
    // the one given to Quit when InitMainWindow made no main window.
    int Run();
    // Ends the program with `exitCode` without a main window: called from
    // InitMainWindow, which then makes none.
    void Quit(int exitCode)
    {
        quitting_ = true;
        exitCode_ = exitCode;
    }

    // Null when the application has no name: a message box given it as
    // caption shows the system's default caption.
    const char* GetName() const { return name_.empty() ? nullptr : name_.c_str(); }
    HINSTANCE GetInstance() const { return instance_; }
    void SetMainWindow(std::unique_ptr<TFrameWindow> frame);
    TFrameWindow* GetMainWindow() const { return mainWindow_.get(); }

    // The process's one application object, for the views that show
    // messages under its name before any window exists; null outside its
    // lifetime.
    static TApplication* Current();

protected:
    virtual void InitMainWindow();

private:
    int MessageLoop();
    bool PreTranslate(MSG& msg);

    std::string name_;
    HINSTANCE instance_;
    std::unique_ptr<TFrameWindow> mainWindow_;
    bool quitting_ = false;
    int exitCode_ = 0;
};
