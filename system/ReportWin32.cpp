#include "Report.h"

#include <windows.h>

#include <cstdlib>
#include <string>

namespace {

// Unattended runs have no one to click a box: the behaviour is the
// process's, so is the switch.
bool toConsole = false;

void WriteLine(const char* caption, const char* text)
{
    HANDLE out = GetStdHandle(STD_ERROR_HANDLE);
    if (out == nullptr || out == INVALID_HANDLE_VALUE) {
        // A program of the windows subsystem has a console only when it
        // joins the one it was started from.
        if (!AttachConsole(ATTACH_PARENT_PROCESS))
            return;
        out = CreateFileA("CONOUT$", GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
        if (out == INVALID_HANDLE_VALUE)
            return;
        SetStdHandle(STD_ERROR_HANDLE, out);
    }
    std::string line = caption != nullptr && *caption != '\0' ? std::string(caption) + ": " : std::string();
    line += text;
    line += "\r\n";
    DWORD written = 0;
    WriteFile(out, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}

}  // namespace

void SendMessagesToConsole()
{
    toConsole = true;
}

void ShowMessage(const char* text, const char* caption, unsigned style)
{
    if (toConsole)
        WriteLine(caption, text);
    else
        MessageBoxExA(nullptr, text, caption, style, 0);
}

void FatalMessage(const char* text, const char* caption, unsigned style)
{
    ShowMessage(text, caption, style);
    std::exit(kFatalExitCode);
}
