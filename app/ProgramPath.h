// The running program's own file name, as the rest of the program (8-bit
// ANSI names throughout) can open it.
#pragma once

#include "Status.h"

#include <string>

namespace program {

// The module's full file name in the ANSI code page. A folder whose name
// that code page cannot hold (the system would put "?" in its place) is
// given under its short (8.3) name, which it can. A failure (kRefused) when
// neither fits a path buffer or the code page.
Status FullName(std::string* path);

}  // namespace program
