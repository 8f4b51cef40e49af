#include "Report.h"

#include <windows.h>

#include <cstdlib>

void ShowMessage(const char* text, const char* caption, unsigned style)
{
    MessageBoxExA(nullptr, text, caption, style, 0);
}

void FatalMessage(const char* text, const char* caption, unsigned style)
{
    ShowMessage(text, caption, style);
    std::exit(kFatalExitCode);
}
