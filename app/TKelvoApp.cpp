#include "TKelvoApp.h"

#include "SystemFolders.h"
#include "TKelvoWindow.h"
#include "TProcTramor.h"
#include "WorkingFiles.h"
#include "resource.h"

#include "File.h"
#include "FileSys.h"
#include "Limits.h"
#include "Platform.h"
#include "Report.h"
#include "SetupLayout.h"
#include "FolderGuard.h"
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
Status ModuleFileName(HINSTANCE instance, char* dest)
{
    char buffer[kPathSize + 1] = "";
    const DWORD n = GetModuleFileNameA(instance, buffer, sizeof buffer);
    if (n == 0 || n >= kPathSize)
        return Status::Failure(Fault::kRefused,
                               "The program's file name is longer than " + std::to_string(kPathMax) + " characters.",
                               "Error!");
    return CopyPath(dest, buffer);
}

Status CurrentFolder(char* dest)
{
    const std::string folder = platform::CurrentFolder();
    if (folder.empty() || folder.size() > kPathMax)
        return Status::Failure(Fault::kRefused,
                               "The current folder's name is longer than " + std::to_string(kPathMax) + " characters.",
                               "Error!");
    return CopyPath(dest, folder.c_str());
}

// Starts `program` from the current folder only, its own name as argument
// zero and `arguments` after it, without waiting for it.
void StartDetached(const char* program, const char* arguments)
{
    std::string commandLine = "\"";
    commandLine += program;
    commandLine += "\"";
    commandLine += arguments;
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

TKelvoApp::TKelvoApp(int _Modo,  // NOLINT(bugprone-reserved-identifier)
                     const cmdline::Options& _options)
    : TApplication(nullptr, GetModuleHandleA(nullptr)), Modo(_Modo), options(_options)
{
}

TKelvoApp::~TKelvoApp() = default;

Status TKelvoApp::InitScript(bool* relaunched)
{
    *relaunched = false;
    char start[kPathSize];
    char ApendFile[kPathSize];

    Status status = ModuleFileName(GetInstance(), start);
    if (!status)
        return status;
    Rectify(ApendFile, start, kPathSize);
    status = CurrentFolder(start);
    if (!status)
        return status;
    // A damaged download installs nothing, and no uninstaller works from a
    // damaged copy: checked before anything is written.
    char package[kPathSize];
    if (!(status = JoinPath(package, start, "\\", ApendFile)) || !(status = startup::CheckSetupIntegrity(package)))
        return status;
    const std::string dirWin = sysfolders::TemporaryFolder();
    if (dirWin.empty())
        return Status::Failure(Fault::kRefused,
                               "The Windows folder's name is longer than " + std::to_string(kPathMax) + " characters.",
                               "Error!");

    // Every run keeps its working files in a fresh folder of its own inside
    // the shared temporary folder: nothing another user put there is read,
    // run or written through.
    std::string runFolder;
    if (!(status = sysfolders::MakeRunFolder(&runFolder)))
        return status;

    // The uninstaller leaves the destination folder before it deletes it: a
    // copy in a run folder does the work. Started inside the temporary
    // folder, it is that copy and must not relaunch once more.
    const std::string fullStart = guard::FullFolder(start, start);
    if (Modo == startup::kUninstallMode && platform::FileExists(layout::kUninstallData) &&
        !guard::IsWithin(fullStart, guard::FullFolder(dirWin, dirWin))) {
        const char* const copies[][2] = {{ApendFile, ApendFile},
                                         {layout::kModeFile, layout::kModeFile},
                                         {layout::kUninstallData, layout::kUninstallCopy}};
        for (const auto& copy : copies) {
            char dest[kPathSize];
            if (!(status = JoinPath(dest, runFolder.c_str(), "\\", copy[1])) ||
                !(status = TryCopyExe(start, copy[0], dest)))
                return status;
        }
        platform::ChangeFolder(runFolder.c_str());
        // An unattended uninstallation stays unattended in the copy.
        StartDetached(ApendFile, options.silent ? " /S" : "");
        *relaunched = true;
        return Status();
    }

    platform::ChangeFolder(runFolder.c_str());
    working::Write(layout::kProgramName, ApendFile);
    working::Write(layout::kStartFolder, start);

    TApend apend(package);
    if (!(status = apend.TryExtrairArq(layout::kScript)))
        return status;

    char NomeGrupo[kPathSize] = "";
    std::string roles[3];
    TListaDado listaDado;
    {
        TScript script(layout::kScript);
        // Every record, its archive name exactly as the script gives it.
        if (!(status = script.TryLerRegistros(&listaDado)))
            return status;
        char buffer[kPathSize];
        script.LerNomeGrupo(NomeGrupo);
        script.LerArqBMP(buffer);
        roles[0] = buffer;
        script.LerArqApresentacao(buffer);
        roles[1] = buffer;
        script.LerArqLicenca(buffer);
        roles[2] = buffer;
        script.GetEntry(kKeyAppName, buffer);
        AppName = std::strcmp(buffer, "NULL") == 0 ? std::string() : std::string(buffer);
    }

    for (const layout::DisplayStep& step : layout::PlanDisplayFiles(startup::PlanRecords(listaDado), roles)) {
        if (!(status = apend.TryIncluirFat(step.member.c_str(), step.size)))
            return status;
        if (!step.extract)
            continue;
        if (!(status = apend.TryExtrairArq(step.member.c_str())))
            return status;
        for (const std::string& copy : step.copies) {
            char dest[kPathSize];
            if (!(status = JoinPath(dest, runFolder.c_str(), "\\", copy.c_str())) ||
                !(status = TryCopyExe(runFolder.c_str(), step.member.c_str(), dest)))
                return status;
        }
    }

    if (Modo == startup::kInstallMode)
        startup::InstallCaption(Caption, AppName);
    else
        startup::UninstallCaption(Caption, NomeGrupo, AppName);
    return Status();
}

void TKelvoApp::InitMainWindow()
{
    bool relaunched = false;
    const Status status = InitScript(&relaunched);
    if (!status) {
        ShowMessage(status);
        Quit(kFatalExitCode);
        return;
    }
    if (relaunched) {
        Quit(0);
        return;
    }
    if (options.silent) {
        TProcTramor procedure(nullptr, Modo, nullptr, nullptr, nullptr);
        Quit(procedure.RunSilent(options));
        return;
    }
    auto frame = std::make_unique<TFrameWindow>(nullptr, "", std::make_unique<TKelvoWindow>(Modo, AppName),
                                                true);
    frame->Attr.Style &= ~(WS_MAXIMIZEBOX | WS_THICKFRAME);
    frame->SetCaption(Caption);
    frame->EnableKBHandler();
    frame->SetIcon(GetInstance(), IDI_KELVO);
    SetMainWindow(std::move(frame));
}
