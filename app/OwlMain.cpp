// The program's entry: refuses Windows versions it cannot run on, chooses
// install or uninstall mode from "modo.se" and runs the application.
#include "CommandLine.h"
#include "ProgramPath.h"
#include "StartupRules.h"
#include "TKelvoApp.h"

#include "PathSplit.h"
#include "Platform.h"
#include "Report.h"
#include "SetupLayout.h"

#include <windows.h>

#include <string>

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

    // Options, for unattended runs; none: the wizard as always.
    const std::string arguments = cmdline::ArgumentsOf(GetCommandLineA());
    cmdline::Options options;
    const Status parsed = cmdline::Parse(arguments, &options);
    if (!parsed) {
        const bool silent = (" " + arguments + " ").find(" /S ") != std::string::npos ||
                            (" " + arguments + " ").find(" /s ") != std::string::npos;
        if (silent)
            SendMessagesToConsole();
        ShowMessage(("Wrong arguments: " + parsed.Text() + ".\n\n" + cmdline::kUsage).c_str(), "Kelvo",
                    MB_OK | MB_ICONHAND);
        return cmdline::kBadArguments;
    }
    if (options.silent)
        SendMessagesToConsole();

    int result;
    {
        // The mode file lies beside the program, wherever it was started from.
        std::string modeFile = layout::kModeFile;
        std::string path;
        if (program::FullName(&path)) {
            const size_t separator = pathsplit::LastSeparator(path, &platform::IsLeadByte);
            if (separator != std::string::npos)
                modeFile = path.substr(0, separator + 1) + layout::kModeFile;
        }
        TKelvoApp app(startup::ModeFromFile(modeFile.c_str()), options);
        result = app.Run();
    }
    return result;
}
