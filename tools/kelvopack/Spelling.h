// "Did you mean ...?" for a misspelt setting: the known name closest to the
// one written, letter case aside.
#pragma once

#include <string>
#include <vector>

namespace spelling {

// The name in `known` nearest to `written` by edit distance (insertions,
// deletions, replacements and swaps of neighbours, letter case ignored), if
// it is near enough to be what was meant: at most a third of its letters
// wrong, and at least one. Empty when none is.
std::string Closest(const std::string& written, const std::vector<std::string>& known);

}  // namespace spelling
