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
// - The program is built without exceptions (kelvo_small_code), so that
//   neither unwind tables nor the unwinder are linked. The allocation
//   functions below therefore report a failed allocation themselves, as
//   every fatal error is reported, instead of throwing std::bad_alloc
//   through code that could not unwind it.
// - The library's guards of function-local statics throw when their lock
//   fails, which alone would link the whole exception machinery; the ones
//   below need no lock that can fail.
//
// Consequence for all code linked into kelvo.exe: nothing can be caught.
// Check the input instead of relying on an exception that the library
// throws (std::out_of_range from at(), std::invalid_argument from stoul,
// ...); such a failure ends the program with its message.
// All helpers of the library's throw unit are defined, so it is never
// linked beside these (a helper added by a later compiler shows up as a
// duplicate definition at link time, not as a silent change).
#include "Report.h"

#include <windows.h>

#include <cstdint>
#include <cstdlib>
#include <new>

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
void __throw_bad_function_call() { LibraryFailure("bad function call"); }
}  // namespace std
// clang-format on
// NOLINTEND(bugprone-reserved-identifier)

// The allocation functions: the library's own throw std::bad_alloc.
namespace {

void* Allocate(std::size_t size)
{
    void* memory = std::malloc(size != 0 ? size : 1);
    if (memory == nullptr)
        LibraryFailure("Out of memory.");
    return memory;
}

}  // namespace

void* operator new(std::size_t size)
{
    return Allocate(size);
}

void* operator new[](std::size_t size)
{
    return Allocate(size);
}

void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
    return std::malloc(size != 0 ? size : 1);
}

void* operator new[](std::size_t size, const std::nothrow_t&) noexcept
{
    return std::malloc(size != 0 ? size : 1);
}

void operator delete(void* memory) noexcept
{
    std::free(memory);
}

void operator delete[](void* memory) noexcept
{
    std::free(memory);
}

void operator delete(void* memory, std::size_t) noexcept
{
    std::free(memory);
}

void operator delete[](void* memory, std::size_t) noexcept
{
    std::free(memory);
}

void operator delete(void* memory, const std::nothrow_t&) noexcept
{
    std::free(memory);
}

void operator delete[](void* memory, const std::nothrow_t&) noexcept
{
    std::free(memory);
}

// The guard of a function-local static is 64 bits: its first byte, which the
// compiler's own code reads before calling these, says the static is made;
// the second word is held by the one thread making it while the others wait.
namespace {

volatile LONG* GuardWords(int64_t* guard)
{
    return reinterpret_cast<volatile LONG*>(guard);
}

}  // namespace

extern "C" int __cxa_guard_acquire(int64_t* guard)
{
    volatile LONG* words = GuardWords(guard);
    for (;;) {
        if (InterlockedCompareExchange(&words[0], 0, 0) != 0)
            return 0;
        if (InterlockedCompareExchange(&words[1], 1, 0) == 0) {
            if (InterlockedCompareExchange(&words[0], 0, 0) == 0)
                return 1;
            InterlockedExchange(&words[1], 0);
            return 0;
        }
        // Another thread is making it: rarely more than a moment.
        Sleep(1);
    }
}

extern "C" void __cxa_guard_release(int64_t* guard)
{
    volatile LONG* words = GuardWords(guard);
    InterlockedExchange(&words[0], 1);
    InterlockedExchange(&words[1], 0);
}

extern "C" void __cxa_guard_abort(int64_t* guard)
{
    InterlockedExchange(&GuardWords(guard)[1], 0);
}
