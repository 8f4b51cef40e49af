/* Hello App: a message box that says hello, installed by its Kelvo setup. */
#include <windows.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show)
{
    (void)instance;
    (void)previous;
    (void)commandLine;
    (void)show;
    MessageBoxA(NULL, "Hello from a setup that cpack made.", "Hello App", MB_OK | MB_ICONINFORMATION);
    return 0;
}
