// Stops a fuzzing run at the first broken promise, saying which line found it.
#pragma once

#include <cstdio>
#include <cstdlib>

inline void FuzzFail(const char* file, int line)
{
    std::fprintf(stderr, "check failed at %s:%d\n", file, line);
    std::abort();
}

#define Check(ok) ((ok) ? void(0) : FuzzFail(__FILE__, __LINE__))
