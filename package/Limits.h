// Sizes that the file formats and the callers' buffers fix.
#pragma once

#include <cstddef>

constexpr size_t kPathSize = 512;  // path buffer: 511 characters and a terminator
constexpr size_t kPathMax = kPathSize - 1;
constexpr size_t kItemTitleSize = 64;  // program item title: 63 characters
constexpr size_t kItemTitleMax = kItemTitleSize - 1;
constexpr size_t kMemberNameMax = 255;  // a name in the package's file table
constexpr size_t kScriptLineMax = 511;  // a line of the setup script
constexpr size_t kScriptKeyMax = 31;    // the key, a line's first word
constexpr size_t kSizeTextMax = 15;     // a size field of a file record
constexpr size_t kFlagsLength = 4;      // the flag field of a file record
constexpr size_t kModesSize = 5;        // the mode letters: three and a terminator, in 5 bytes
