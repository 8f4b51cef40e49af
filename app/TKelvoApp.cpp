#include "TKelvoApp.h"

#include "TKelvoWindow.h"
#include "resource.h"

#include "File.h"
#include "FileSys.h"
#include "Limits.h"
#include "Platform.h"
#include "Report.h"
#include "TApend.h"
#include "TListaDado.h"
#include "TScript.h"

#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <string>

using startup::CopyPath;
using startup::JoinPath;

namespace {

// The module's full file name; a name the buffer cannot hold is refused.
void ModuleFileName(HINSTANCE instance, char* dest)
{
    char buffer[kPathSize + 1] = "";
    const DWORD n = GetModuleFileNameA(instance, buffer, sizeof buffer);
    if (n == 0 || n >= sizeof buffer)
        FatalMessage("The program's file name is longer than 511 characters.", "Error!");
    CopyPath(dest, buffer);
}

void CurrentFolder(char* dest)
{
    char buffer[kPathSize + 1] = "";
    const DWORD n = GetCurrentDirectoryA(sizeof buffer, buffer);
    if (n == 0 || n >= sizeof buffer)
        FatalMessage("The current folder's name is longer than 511 characters.", "Error!");
    CopyPath(dest, buffer);
}

// The Windows folder + "\TEMP"; the TEMP variable plays no part.
void TemporaryFolder(char* dest)
{
    char windows[kPathSize + 1] = "";
    const UINT n = GetWindowsDirectoryA(windows, sizeof windows);
    if (n == 0 || n >= sizeof windows)
        FatalMessage("The Windows folder's name is longer than 511 characters.", "Error!");
    JoinPath(dest, windows, "\\TEMP");
}

// A working file: the text, no line break, truncating an old file.
void WriteWorkingFile(const char* name, const char* text)
{
    File file(name, "w");
    if (file.IsOpen())
        file.Write(text);
}

// Starts `program` from the current folder only, its own name as its only
// argument, without waiting for it.
void StartDetached(const char* program)
{
    std::string commandLine = "\"";
    commandLine += program;
    commandLine += "\"";
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (CreateProcessA(program, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                       &startup, &process)) {
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
}

}  // namespace

TKelvoApp::TKelvoApp(int _Modo)  // NOLINT(bugprone-reserved-identifier)
    : TApplication(nullptr, GetModuleHandleA(nullptr)), Modo(_Modo)
{
}

TKelvoApp::~TKelvoApp() = default;

void TKelvoApp::InitScript()
{
    char dirWin[kPathSize];
    char start[kPathSize];
    char ApendFile[kPathSize];

    ModuleFileName(GetInstance(), start);
    Rectify(ApendFile, start, kPathSize);
    CurrentFolder(start);
    TemporaryFolder(dirWin);

    if (Modo == startup::kUninstallMode && platform::FileExists("uninstall.s_")) {
        // The uninstaller leaves the destination folder before it deletes
        // it: a copy in the temporary folder does the work.
        char dest[kPathSize];
        JoinPath(dest, dirWin, "\\", ApendFile);
        CopyExe(start, ApendFile, dest);
        JoinPath(dest, dirWin, "\\modo.se");
        CopyExe(start, "modo.se", dest);
        JoinPath(dest, dirWin, "\\uninstall.se");
        CopyExe(start, "uninstall.s_", dest);
        platform::ChangeFolder(dirWin);
        StartDetached(ApendFile);
        std::exit(0);
    }

    platform::ChangeFolder(dirWin);
    WriteWorkingFile("apend.se", ApendFile);
    WriteWorkingFile("cur.se", start);

    char package[kPathSize];
    JoinPath(package, start, "\\", ApendFile);
    TApend apend(package);
    apend.ExtrairArq("kelvo.se");

    char NomeGrupo[kPathSize] = "";
    char ArqBMP[kPathSize] = "";
    char ArqApres[kPathSize] = "";
    char ArqLicen[kPathSize] = "";
    TListaDado listaDado;
    {
        TScript script("kelvo.se");
        script.LerNomeGrupo(NomeGrupo);
        script.LerArqBMP(ArqBMP);
        script.LerArqApresentacao(ArqApres);
        script.LerArqLicenca(ArqLicen);

        // Every record, its archive name exactly as the script gives it.
        script.LerRegistros(&listaDado);
    }

    for (const startup::DisplayStep& step :
         startup::PlanDisplayFiles(listaDado, ArqBMP, ArqApres, ArqLicen)) {
        apend.IncluirFat(step.member.c_str(), step.size);
        if (!step.extract)
            continue;
        apend.ExtrairArq(step.member.c_str());
        for (const std::string& copy : step.copies) {
            char dest[kPathSize];
            JoinPath(dest, dirWin, "\\", copy.c_str());
            CopyExe(dirWin, step.member.c_str(), dest);
        }
    }

    if (Modo == startup::kInstallMode)
        startup::InstallCaption(Caption);
    else
        startup::UninstallCaption(Caption, NomeGrupo);
}

void TKelvoApp::InitMainWindow()
{
    InitScript();
    auto frame = std::make_unique<TFrameWindow>(nullptr, "", std::make_unique<TKelvoWindow>(Modo),
                                                true);
    frame->Attr.Style &= ~(WS_MAXIMIZEBOX | WS_THICKFRAME);
    frame->SetCaption(Caption);
    frame->EnableKBHandler();
    frame->SetIcon(GetInstance(), IDI_KELVO);
    SetMainWindow(std::move(frame));
}
