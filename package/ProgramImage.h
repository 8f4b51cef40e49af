// The setup program without its package: the bytes in front of the first
// member (SetupLayout.h), which is all a copy needs to run when it is told
// where its working files are. Portable, tested natively.
#pragma once

#include "Status.h"

#include <cstdint>

// Replaces `to` with the program image of the setup at `from`: its bytes up
// to the image's end, without the integrity record, the members, the script
// and the trailer behind it (and so without a signature). A file that is no
// program image is refused (kDamaged) and `to` is not made; a source that
// cannot be read is kUnreadable, a destination that cannot be written
// kCannotCreate or kCannotWrite (removed then). *size, when given, receives
// the bytes copied.
Status CopyProgramImage(const char* from, const char* to, uint64_t* size = nullptr);
