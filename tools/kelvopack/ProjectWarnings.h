// What a setup built from a valid project will do that its author would
// rather know before shipping it: nothing here stops a build, it only warns.
//
// The wizard's window is 600 x 400 pixels; the bitmap lies at (10, 10), the
// pages begin at x = 192 and the etched line above the button row lies 66
// pixels above the bottom, at y = 334. The texts are shown byte for byte as
// code page 1252.
#pragma once

#include "Project.h"

#include <cstdint>
#include <string>
#include <vector>

namespace warnings {

// The room the bitmap has: left of the pages, above the button row.
constexpr int kBitmapMaxWidth = 192 - 10;
constexpr int kBitmapMaxHeight = 400 - 66 - 10;

// What the setup makes of the bitmap file `bmp`: one line per surprise.
std::vector<std::string> BitmapWarnings(const std::vector<uint8_t>& bmp);

// What the setup makes of a presentation or agreement text: UTF-8 or UTF-16
// text, a byte order mark, bytes that code page 1252 leaves undefined.
std::vector<std::string> TextWarnings(const std::vector<uint8_t>& text);

}  // namespace warnings

// The warnings about a project that CheckProject accepted, each as
// "file:line:column: what the setup will do", naming the setting: a name
// with characters code page 1252 lacks, and the display files above.
std::vector<std::string> ProjectWarnings(const Project& project);
