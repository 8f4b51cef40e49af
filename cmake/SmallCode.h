// Included first in every file of the setup program (kelvo_small_code).
//
// The library's std::string members come precompiled in libstdc++.a, built
// with exceptions: linking them brings their unwind tables, the personality
// routine and the unwinder, some 50 KB of the 32-bit image. The value -1
// (the one the library itself takes with its assertions on) makes each file
// compile the members it calls, without exceptions like the rest, and the
// linker keeps one copy of each; every other explicit instantiation stays.
#pragma once

#include <bits/c++config.h>

#undef _GLIBCXX_EXTERN_TEMPLATE
#define _GLIBCXX_EXTERN_TEMPLATE -1
