#include "Report.h"

#include <cstdio>
#include <cstdlib>

void SendMessagesToConsole()
{
    // Messages are lines on standard error here anyway.
}

void ShowMessage(const char* text, const char* caption, unsigned /*style*/)
{
    std::fprintf(stderr, "%s: %s\n", caption != nullptr ? caption : "", text);
    std::fflush(stderr);
}

void FatalMessage(const char* text, const char* caption, unsigned style)
{
    ShowMessage(text, caption, style);
    std::exit(kFatalExitCode);
}
