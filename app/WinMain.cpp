// The Windows entry point: hardens the DLL search, then hands over to OwlMain.
#include <windows.h>

#include <cstdlib>

int OwlMain(int argc, char* argv[]);

namespace {

#ifndef LOAD_LIBRARY_SEARCH_SYSTEM32
#define LOAD_LIBRARY_SEARCH_SYSTEM32 0x00000800
#endif

// A setup program is often started from a downloads folder full of other
// files: libraries are looked up in the system folder only, never beside the
// executable or in the current folder. Systems without the call keep their
// default search, so the program still starts there.
void RestrictDllSearch()
{
    using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    if (kernel == nullptr)
        return;
    const FARPROC found = GetProcAddress(kernel, "SetDefaultDllDirectories");
    if (found == nullptr)
        return;
    auto setDefault = reinterpret_cast<SetDefaultDllDirectoriesFn>(reinterpret_cast<void*>(found));
    setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32);
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    RestrictDllSearch();
    return OwlMain(__argc, __argv);
}
