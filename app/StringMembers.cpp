// std::string's members, made once for the whole program and without
// exceptions like the rest of it. The program's other files take the
// library's declaration that these are made elsewhere and only call them;
// the copy precompiled in libstdc++.a is never linked, since it was built
// with exceptions and would bring its unwind tables, the personality routine
// and the unwinder (some 50 KB of the 32-bit image). Made in each file that
// calls them instead, they were inlined there and cost some 13 KB more.
#include <string>

template class std::basic_string<char>;
template std::string std::operator+(const char*, const std::string&);
template std::string std::operator+(char, const std::string&);
// The range constructors' work, declared as made here in cmake/StringMembers.h.
template void std::string::_M_construct<const char*>(const char*, const char*, std::forward_iterator_tag);
template void std::string::_M_construct<char*>(char*, char*, std::forward_iterator_tag);
