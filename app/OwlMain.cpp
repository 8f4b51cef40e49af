// The program's entry: refuses Windows versions it cannot run on, chooses
// install or uninstall mode from "modo.se" and runs the application.
#include "StartupRules.h"
#include "TKelvoApp.h"

#include <windows.h>

int OwlMain(int, char*[])
{
    // Versions outside the NT family below 4 lack the 32-bit interfaces.
    const DWORD version = GetVersion();
    if ((version & 0x80000000u) != 0 && LOBYTE(LOWORD(version)) < 4) {
        MessageBoxExA(nullptr,
                      "This application requires a WIN32 operating system\n"
                      "(Windows95\xAE, Windows98\xAE, WindowsNT4.x\xAE, Windows2000\xAE or later)",
                      "Kelvo \xAE (Warning!) ", MB_OK | MB_ICONHAND, 0);
        return 0;
    }

    int result;
    {
        TKelvoApp app(startup::ModeFromFile("modo.se"));
        result = app.Run();
    }
    return result;
}
