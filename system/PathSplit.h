// Where a path splits into folder and name. On a double-byte code page the
// second byte of a character may be 0x5C, the byte of "\": it is a trail
// byte there, not a separator. The code page's lead-byte test is a
// parameter, so that the rule is the same everywhere and tested natively.
#pragma once

#include <cstddef>
#include <string>

namespace pathsplit {

// Whether a byte begins a double-byte character in the code page at hand.
using LeadByteTest = bool (*)(unsigned char);

// No double-byte characters at all (single-byte code pages).
bool NoLeadBytes(unsigned char);

// The position of the last "\" of `path` that is a separator, each lead
// byte taking the byte after it along; std::string::npos when there is none.
size_t LastSeparator(const std::string& path, LeadByteTest isLead);

// The text after the last separator (the whole path when it has none).
std::string FileName(const std::string& path, LeadByteTest isLead);
// The text in front of the last separator (empty when it has none).
std::string FolderName(const std::string& path, LeadByteTest isLead);

}  // namespace pathsplit
