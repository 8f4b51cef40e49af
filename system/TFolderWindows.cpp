#include "TFolderWindows.h"

#include "SentMessageWait.h"
#include "StartMenuNames.h"

#include <algorithm>
#include <string>

namespace {

BOOL CALLBACK CollectFolderWindow(HWND window, LPARAM found)
{
    char windowClass[64] = {};
    if (GetClassNameA(window, windowClass, sizeof windowClass) > 0 && startmenu::IsFolderWindowClass(windowClass))
        reinterpret_cast<std::vector<HWND>*>(found)->push_back(window);
    return TRUE;
}

std::string Title(HWND window)
{
    char title[512] = {};
    GetWindowTextA(window, title, sizeof title);
    return title;
}

}  // namespace

TFolderWindows::TFolderWindows() : before_(Open())
{
}

std::vector<HWND> TFolderWindows::Open()
{
    std::vector<HWND> found;
    EnumWindows(CollectFolderWindow, reinterpret_cast<LPARAM>(&found));
    return found;
}

bool TFolderWindows::CloseNew(const char* nome, DWORD boundMs) const
{
    const std::string group = nome != nullptr ? nome : "";
    const DWORD start = GetTickCount();
    for (;;) {
        bool closed = false;
        for (HWND window : Open()) {
            if (std::find(before_.begin(), before_.end(), window) != before_.end() ||
                !startmenu::ShowsGroup(Title(window), group))
                continue;
            closed |= PostMessageA(window, WM_CLOSE, 0, 0) != FALSE;
        }
        if (closed)
            return true;
        const DWORD elapsed = GetTickCount() - start;
        if (elapsed >= boundMs)
            return false;
        WaitLettingSentMessagesThrough(nullptr, std::min(kStepMs, boundMs - elapsed));
    }
}
