#include "ProgramPath.h"

#include "Limits.h"

#include <windows.h>

#include <vector>

namespace program {

namespace {

// The terminated `wide` in the ANSI code page; false when a character has no
// exact form there. Plain buffers, not std::wstring: the program links no
// other wide string, and that class alone costs it 35 KB.
bool ToAnsi(const wchar_t* wide, std::string* ansi)
{
    BOOL lossy = FALSE;
    const int n = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide, -1, nullptr, 0, nullptr, &lossy);
    if (n <= 0 || lossy)
        return false;
    std::vector<char> buffer(static_cast<size_t>(n));
    lossy = FALSE;
    if (WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide, -1, buffer.data(), n, nullptr, &lossy) != n || lossy)
        return false;
    ansi->assign(buffer.data());
    return true;
}

Status TooLong(const std::string& why)
{
    return Status::Failure(Fault::kRefused, why, "Error!");
}

}  // namespace

Status FullName(std::string* path)
{
    // Long names reach 32767 characters; the buffers start zeroed, so what
    // the calls return is terminated.
    std::vector<wchar_t> module(32768);
    const DWORD n = GetModuleFileNameW(nullptr, module.data(), static_cast<DWORD>(module.size()));
    if (n == 0 || n >= module.size())
        return TooLong("The program's file name cannot be read.");
    module[n] = L'\0';
    std::string ansi;
    if (!ToAnsi(module.data(), &ansi)) {
        std::vector<wchar_t> shortName(32768);
        const DWORD s = GetShortPathNameW(module.data(), shortName.data(), static_cast<DWORD>(shortName.size()));
        if (s == 0 || s >= shortName.size() || !ToAnsi(shortName.data(), &ansi))
            return TooLong(
                "The setup's folder has a name that this system's code page cannot hold, and no short "
                "name: move the setup to another folder.");
    }
    if (ansi.size() > kPathMax)
        return TooLong("The program's file name is longer than " + std::to_string(kPathMax) + " characters.");
    *path = ansi;
    return Status();
}

}  // namespace program
