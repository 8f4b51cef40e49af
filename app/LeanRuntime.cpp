// Link-time replacements that keep the standard library's error reporting
// out of kelvo.exe (about 100 KB of the 32-bit image):
//
// - The verbose terminate handler demangles the name of an escaped exception
//   for standard error, which a GUI program does not have. Exceptions never
//   escape here (every window procedure and the application's run catch
//   them), so a plain abort does.
// - The library's throw helpers build std::logic_error and its relatives,
//   which drag in the copy-on-write string and its instantiations. In this
//   program such an error (a length beyond max_size, an index out of range)
//   is always fatal and never caught, so the helpers report it at once as
//   every fatal error is reported, and end the program with exit code 1.
//
// Consequence for all code linked into kelvo.exe: do not rely on catching
// an exception that the library itself throws (std::out_of_range from at(),
// std::invalid_argument from stoul, ...); check the input instead.
// All helpers of the library's throw unit are defined, so it is never
// linked beside these (a helper added by a later compiler shows up as a
// duplicate definition at link time, not as a silent change).
#include "Report.h"

#include <cstdlib>

namespace {

[[noreturn]] void LibraryFailure(const char* what)
{
    FatalMessage(what != nullptr ? what : "Internal error", "Error!");
}

}  // namespace

// The library's own names, defined here in its place.
// NOLINTBEGIN(bugprone-reserved-identifier)
namespace __gnu_cxx {
void __verbose_terminate_handler()
{
    std::abort();
}
}  // namespace __gnu_cxx

// One line a throw point, read as a table.
// clang-format off
namespace std {
void __throw_bad_exception() { LibraryFailure("bad exception"); }
void __throw_bad_alloc() { LibraryFailure("Out of memory."); }
void __throw_bad_array_new_length() { LibraryFailure("Out of memory."); }
void __throw_bad_cast() { LibraryFailure("bad cast"); }
void __throw_bad_typeid() { LibraryFailure("bad typeid"); }
void __throw_logic_error(const char* what) { LibraryFailure(what); }
void __throw_domain_error(const char* what) { LibraryFailure(what); }
void __throw_invalid_argument(const char* what) { LibraryFailure(what); }
void __throw_length_error(const char* what) { LibraryFailure(what); }
void __throw_out_of_range(const char* what) { LibraryFailure(what); }
void __throw_out_of_range_fmt(const char* what, ...) { LibraryFailure(what); }
void __throw_runtime_error(const char* what) { LibraryFailure(what); }
void __throw_range_error(const char* what) { LibraryFailure(what); }
void __throw_overflow_error(const char* what) { LibraryFailure(what); }
void __throw_underflow_error(const char* what) { LibraryFailure(what); }
}  // namespace std
// clang-format on
// NOLINTEND(bugprone-reserved-identifier)
