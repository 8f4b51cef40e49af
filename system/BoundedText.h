// Small text formatting for fixed buffers and names, without the printf
// family: its formatter (floating point included) would be the largest
// single piece of the setup program.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>

namespace text {

// The eight lower-case hexadecimal digits of `number`, leading zeros kept.
std::string Hex8(uint32_t number);

// Copies at most `max` characters of `source` (and no more than fit before
// the terminating zero) into `dest` of `size` bytes, always terminated when
// size > 0. Returns the characters copied.
size_t CopyBounded(char* dest, size_t size, const char* source, size_t max = SIZE_MAX);

// The pieces joined into `dest` of `size` bytes when all of them fit with
// the terminating zero; otherwise `dest` is left empty and false returned.
// A null piece counts as empty.
bool JoinWhole(char* dest, size_t size, std::initializer_list<const char*> pieces);

}  // namespace text
