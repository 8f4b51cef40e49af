#include "TApplication.h"

#include "Report.h"

#include <cstring>

namespace {

TApplication* current = nullptr;

}  // namespace

TApplication::TApplication(const char* name, HINSTANCE instance)
    : name_(name != nullptr ? name : ""), instance_(instance != nullptr ? instance : GetModuleHandleA(nullptr))
{
    current = this;
}

TApplication::~TApplication()
{
    mainWindow_.reset();
    if (current == this)
        current = nullptr;
}

TApplication* TApplication::Current()
{
    return current;
}

void TApplication::InitMainWindow()
{
}

void TApplication::SetMainWindow(std::unique_ptr<TFrameWindow> frame)
{
    mainWindow_ = std::move(frame);
    if (mainWindow_)
        mainWindow_->QuitOnDestroy();
}

int TApplication::Run()
{
    InitMainWindow();
    if (quitting_ && !mainWindow_)
        return exitCode_;
    if (!mainWindow_ || !mainWindow_->Create())
        FatalMessage("Cannot create the main window.", GetName());
    ShowWindow(mainWindow_->GetHandle(), SW_SHOWNORMAL);
    UpdateWindow(mainWindow_->GetHandle());
    return MessageLoop();
}

int TApplication::MessageLoop()
{
    MSG msg;
    for (;;) {
        const BOOL got = GetMessageA(&msg, nullptr, 0, 0);
        if (got == 0)
            return static_cast<int>(msg.wParam);
        if (got < 0)
            return kFatalExitCode;
        if (PreTranslate(msg))
            continue;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

bool TApplication::PreTranslate(MSG& msg)
{
    if (msg.hwnd == nullptr)
        return false;
    HWND root = GetAncestor(msg.hwnd, GA_ROOT);
    if (root == nullptr)
        return false;
    if (mainWindow_ && root == mainWindow_->GetHandle())
        return mainWindow_->KeyboardHandling() && IsDialogMessageA(root, &msg);
    char className[8] = "";
    if (GetClassNameA(root, className, sizeof className) != 0 && std::strcmp(className, "#32770") == 0)
        return IsDialogMessageA(root, &msg);
    return false;
}
