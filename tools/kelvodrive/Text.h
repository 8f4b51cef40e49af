// Conversions between the UTF-16 of the Windows interfaces, the ANSI code page
// that 8-bit programs use, and the UTF-8 that kelvodrive prints.
#pragma once

#include <string>

std::string ToUtf8(const std::wstring& text);
std::wstring FromUtf8(const std::string& text);
std::wstring FromAnsi(const std::string& text);
std::string ToAnsi(const std::wstring& text);
// Case-insensitive comparison as the file system and window classes use it.
bool SameNoCase(const std::wstring& a, const std::wstring& b);
