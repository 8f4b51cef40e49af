// A top-level window around one client window. With shrink-to-client the
// frame takes the size that gives its client area exactly the client's
// width and height attributes; the client always fills the client area.
// When the client window is destroyed, the frame closes itself; as the
// application's main window its destruction ends the message loop. The
// palette messages that only top-level windows receive (WM_PALETTECHANGED,
// WM_QUERYNEWPALETTE) go on to the client, whose answer is the frame's.
#pragma once

#include "TWindow.h"

#include <memory>

class TFrameWindow : public TWindow {
public:
    TFrameWindow(TWindow* parent, const char* title, std::unique_ptr<TWindow> client, bool shrinkToClient = false);
    ~TFrameWindow() override;

    bool Create() override;

    TWindow* GetClientWindow() const { return client_.get(); }
    // The icon resource `resId` of `module`, shown in the caption and task list.
    void SetIcon(HINSTANCE module, int resId);
    // Tab and arrow keys move among the controls, as in a dialog.
    void EnableKBHandler() { keyboardHandling_ = true; }
    bool KeyboardHandling() const { return keyboardHandling_; }
    // Set by the application for its main window.
    void QuitOnDestroy() { quitOnDestroy_ = true; }

protected:
    LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;
    bool SetupWindow() override;
    // Commands that reach the frame (keys the dialog navigation turned into
    // commands) belong to the client.
    void OnCommand(int id, int notifyCode, HWND control) override;

private:
    std::unique_ptr<TWindow> client_;
    bool shrinkToClient_;
    bool keyboardHandling_ = false;
    bool quitOnDestroy_ = false;
    HICON icon_ = nullptr;
    HWND lastFocus_ = nullptr;  // restored when the frame is activated again
};
