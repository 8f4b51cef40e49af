#include "Report.h"

#include <cstdio>
#include <cstdlib>

void ShowMessage(const char* text, const char* caption, unsigned /*style*/)
{
    std::fprintf(stderr, "%s: %s\n", caption, text);
    std::fflush(stderr);
}

void FatalMessage(const char* text, const char* caption, unsigned style)
{
    ShowMessage(text, caption, style);
    std::exit(kFatalExitCode);
}
