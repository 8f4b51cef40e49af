// Names inside a setup are 8-bit text in the Windows ANSI code page, which
// on the systems the setup is made for is 1252; project files, terminals and
// Linux file names use UTF-8. These convert between the two.
#pragma once

#include <string>

namespace codepage {

// UTF-8 to code page 1252. False, with the offending character in *error,
// when the text is no valid UTF-8 or holds a character 1252 cannot write.
bool Utf8ToAnsi(const std::string& utf8, std::string* ansi, std::string* error);

// The characters of `utf8` that code page 1252 can write, in 1252; the
// others (and bytes that are no UTF-8) are left out.
std::string AnsiCharacters(const std::string& utf8);

// Code page 1252 to UTF-8; the five bytes 1252 leaves undefined become the
// control characters of the same number, as Windows converts them.
std::string AnsiToUtf8(const std::string& ansi);

// File names as the system gives and takes them: ANSI bytes on Windows,
// UTF-8 elsewhere.
bool NativeToAnsi(const std::string& native, std::string* ansi, std::string* error);
std::string AnsiToNative(const std::string& ansi);

}  // namespace codepage
