#include "TKelvoApp.h"

#include "SystemFolders.h"
#include "TKelvoWindow.h"
#include "ProgramPath.h"
#include "TProcTramor.h"
#include "TRelaunch.h"
#include "WorkingFiles.h"
#include "resource.h"

#include "File.h"
#include "FileSys.h"
#include "Limits.h"
#include "PathSplit.h"
#include "Platform.h"
#include "Report.h"
#include "SetupLayout.h"
#include "FolderGuard.h"
#include "ProgramImage.h"
#include "TApend.h"
#include "TListaDado.h"
#include "TScript.h"

#include <windows.h>

#include <cstdlib>
#include <memory>
#include <cstring>
#include <string>

using startup::CopyPath;
using startup::JoinPath;

namespace {

// The folder the program lies in: where it reads its package and, as the
// installed copy, its uninstall data, wherever it was started from.
Status ProgramFolder(std::string* folder, std::string* name)
{
    std::string full;
    const Status status = program::FullName(&full);
    if (!status)
        return status;
    *folder = pathsplit::FolderName(full, &platform::IsLeadByte);
    *name = pathsplit::FileName(full, &platform::IsLeadByte);
    // A drive root keeps its backslash: "C:" alone names a current folder.
    if (!folder->empty() && folder->back() == ':')
        *folder += '\\';
    return Status();
}

// How long the relaunched copy waits for the installed copy to end, which
// it does as soon as the copy runs (unless it waits for the result).
constexpr unsigned kParentEndWait = 60000;

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

    std::string folder;
    std::string name;
    Status status = ProgramFolder(&folder, &name);
    if (!status || !(status = CopyPath(start, folder.c_str())) || !(status = CopyPath(ApendFile, name.c_str())))
        return status;
    const std::string dirWin = sysfolders::TemporaryFolder();
    if (dirWin.empty())
        return Status::Failure(Fault::kRefused,
                               "The Windows folder's name is longer than " + std::to_string(kPathMax) + " characters.",
                               "Error!");

    // The copy the installed copy started: its working files lie beside it
    // already, and it has no package of its own.
    if (options.relaunched) {
        parent = std::make_unique<TRelaunch>(options);
        // Unattended, the installed copy waits for the result and ends
        // later (the procedure waits then); otherwise it ends at once.
        if (!parent->Awaited())
            parent->WaitGone(kParentEndWait);
        platform::ChangeFolder(start);
        working::Write(layout::kProgramName, ApendFile);
        working::Write(layout::kStartFolder, start);
        return ReadScriptSettings(nullptr, start);
    }

    // A damaged download installs nothing, and no uninstaller works from a
    // damaged copy: checked before anything is written.
    char package[kPathSize];
    if (!(status = JoinPath(package, start, "\\", ApendFile)) || !(status = startup::CheckSetupIntegrity(package)))
        return status;

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
    std::string uninstallData = start;
    if (uninstallData.back() != '\\')
        uninstallData += '\\';
    uninstallData += layout::kUninstallData;
    const bool relaunch = Modo == startup::kUninstallMode && platform::FileExists(uninstallData.c_str()) &&
                          !guard::IsWithin(fullStart, guard::FullFolder(dirWin, dirWin));

    platform::ChangeFolder(runFolder.c_str());
    working::Write(layout::kProgramName, ApendFile);
    working::Write(layout::kStartFolder, start);
    if (!(status = ReadScriptSettings(package, runFolder.c_str())))
        return status;
    if (!relaunch)
        return Status();

    // The copy gets what it reads and shows (kRelaunchFiles): the display
    // files and the script are out already; the application's members stay
    // behind, and so the copy of the program is its image alone.
    for (const layout::RelaunchFile& file : layout::kRelaunchFiles) {
        char dest[kPathSize];
        if (file.fromPackage)
            continue;
        if (!(status = JoinPath(dest, runFolder.c_str(), "\\", file.name)) ||
            !(status = TryCopyExe(start, file.source, dest)))
            return status;
    }
    char image[kPathSize];
    if (!(status = JoinPath(image, runFolder.c_str(), "\\", ApendFile)) || !(status = CopyProgramImage(package, image)))
        return status;
    // An unattended uninstallation stays unattended in the copy, and this
    // run ends with the copy's result.
    int code = 0;
    if (!(status = TRelaunch::Start(runFolder, ApendFile, options.silent ? " /S" : "", options.silent, &code)))
        return status;
    relaunchCode = code;
    *relaunched = true;
    return Status();
}

Status TKelvoApp::ReadScriptSettings(const char* package, const char* runFolder)
{
    Status status;
    std::unique_ptr<TApend> apend;
    if (package != nullptr) {
        apend = std::make_unique<TApend>(package);
        if (!(status = apend->TryExtrairArq(layout::kScript)))
            return status;
    }

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
    // A group the installation could not make or the uninstaller would read
    // back as another: refused before any display file is written. An
    // unattended run's own /GROUP= (checked with the arguments) replaces it.
    if (Modo == startup::kInstallMode && !(options.silent && options.hasGroup) &&
        !(status = startup::CheckScriptGroup(NomeGrupo)))
        return status;

    // The relaunched copy finds the display files extracted already.
    for (const layout::DisplayStep& step : layout::PlanDisplayFiles(startup::PlanRecords(listaDado), roles)) {
        if (apend == nullptr)
            break;
        if (!(status = apend->TryIncluirFat(step.member.c_str(), step.size)))
            return status;
        if (!step.extract)
            continue;
        if (!(status = apend->TryExtrairArq(step.member.c_str())))
            return status;
        for (const std::string& copy : step.copies) {
            char dest[kPathSize];
            if (!(status = JoinPath(dest, runFolder, "\\", copy.c_str())) ||
                !(status = TryCopyExe(runFolder, step.member.c_str(), dest)))
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
        if (parent)
            parent->Report(kFatalExitCode);
        Quit(kFatalExitCode);
        return;
    }
    if (relaunched) {
        Quit(relaunchCode);
        return;
    }
    if (options.silent) {
        int code;
        {
            TProcTramor procedure(nullptr, Modo, nullptr, nullptr, nullptr);
            code = procedure.RunSilent(options, parent.get());
        }
        if (parent)
            parent->Report(code);
        Quit(code);
        return;
    }
    auto frame = std::make_unique<TFrameWindow>(nullptr, "", std::make_unique<TKelvoWindow>(Modo, AppName), true);
    frame->Attr.Style &= ~(WS_MAXIMIZEBOX | WS_THICKFRAME);
    frame->SetCaption(Caption);
    frame->EnableKBHandler();
    frame->SetIcon(GetInstance(), IDI_KELVO);
    SetMainWindow(std::move(frame));
}
