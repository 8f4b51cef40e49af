// The shell's folder windows as they were at one moment, so that the one a
// program-group command opens afterwards can be told from those the user
// had open: the service shows every group it makes in a folder window that
// stays open, which an unattended setup must not leave behind. Only a new
// window that shows the group is closed, never one that was there before.
//
// Windows only.
#pragma once

#include <windows.h>

#include <vector>

class TFolderWindows {
public:
    // The folder windows open now.
    TFolderWindows();

    // Waits at most boundMs, in short steps, for a folder window that was
    // not open at construction and shows group `nome`, and asks it to close
    // (WM_CLOSE). Whether one was found.
    bool CloseNew(const char* nome, DWORD boundMs) const;

    static constexpr DWORD kStepMs = 50;

private:
    // The top-level folder windows open now.
    static std::vector<HWND> Open();

    std::vector<HWND> before_;
};
