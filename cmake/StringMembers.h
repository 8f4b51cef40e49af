// Included first in every file of the setup program (kelvo_program_code).
//
// The library declares std::string's members as made elsewhere, and
// app/StringMembers.cpp makes them; its constructors from a range are member
// templates, which it does not declare, so each file made and inlined its
// own (some 1.5 KB of the 32-bit image). These are made there too.
#pragma once

#include <string>

extern template void std::string::_M_construct<const char*>(const char*, const char*, std::forward_iterator_tag);
extern template void std::string::_M_construct<char*>(char*, char*, std::forward_iterator_tag);
