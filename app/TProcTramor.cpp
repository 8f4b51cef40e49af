#include "TProcTramor.h"

#include "InstallProcedure.h"
#include "InstallRules.h"
#include "RunCleanup.h"
#include "SilentProgress.h"
#include "SilentRun.h"
#include "StartupRules.h"
#include "SystemFolders.h"
#include "UninstallProcedure.h"
#include "WorkingFiles.h"

#include "BoundedText.h"
#include "Platform.h"
#include "Report.h"
#include "SetupLayout.h"
#include "TScript.h"

#include <windows.h>

#include <cstring>

TProcTramor::TProcTramor(TWindow* pai, int _Modo, TButton* back, TButton* next, TButton* cancel)
    : TWinTramor(pai, back, next, cancel), Modo(_Modo), sequence(_Modo), listaDado(std::make_unique<TListaDado>())
{
    // The start folder, as start-up wrote it into the temporary folder.
    std::string start;
    // ReadLine holds the line to kPathMax characters: it always fits.
    if (working::ReadLine(layout::kStartFolder, &start, kPathMax))
        static_cast<void>(startup::CopyPath(DirAtual, start.c_str()));
}

TProcTramor::~TProcTramor()
{
    listaDado.reset();
    // A wizard cancelled, or a procedure that stopped early, leaves no
    // working files in its run folder (a procedure's own end removed them).
    cleanup::EndRun(workFolder, Modo == startup::kUninstallMode);
}

Status TProcTramor::LerScript()
{
    TScript script(layout::kScript);
    const Status loaded = script.Load();
    if (!loaded)
        return loaded;
    char buffer[kPathSize];
    script.LerDirOrig(buffer);
    const size_t lDirOrig = std::strlen(buffer);
    script.LerDirDest(DirDest);
    script.LerNomeGrupo(NomeGrupo);
    script.LerModosInstalacao(buffer);
    // Three letters and nothing more fit the mode buffer.
    text::CopyBounded(ModosInst, sizeof ModosInst, buffer, 3);
    const struct {
        const char* key;
        std::string* value;
    } app[] = {{kKeyAppName, &appName}, {kKeyAppPublisher, &appPublisher}, {kKeyAppVersion, &appVersion}};
    for (const auto& setting : app) {
        script.GetEntry(setting.key, buffer);
        *setting.value = std::strcmp(buffer, "NULL") == 0 ? std::string() : std::string(buffer);
    }
    listaDado = std::make_unique<TListaDado>();
    return script.TryLerRegistros(listaDado.get(), lDirOrig);
}

int TProcTramor::RunSilent(const cmdline::Options& options, TRelaunch* parent)
{
    silent = true;
    workFolder.Enter();
    const Status status = LerScript();
    if (!status) {
        ShowMessage(status);
        return cmdline::kFailed;
    }
    if (Modo == startup::kUninstallMode)
        return Finish(parent);  // the installed copy: no confirmation asked
    const int code = SilentRun(options).Apply(NomeGrupo, DirDest, ModosInst);
    if (code != cmdline::kDone)
        return code;
    // Unattended, as setups go, a folder that holds files is used all the
    // same: what is already there is never removed, and the console says so.
    std::string full;
    if (install::CheckDestination(DirDest, platform::CurrentFolder(), sysfolders::ProtectedFolders(), &full) &&
        install::HoldsOtherFiles(full))
        ShowMessage(install::OtherFilesWarning(full, false).c_str(), "Notice!", kMbOk | kMbIconAsterisk);
    return Finish();
}

void TProcTramor::End(int code)
{
    PostQuitMessage(code);
}

void TProcTramor::Processar()
{
    const wizard::Step step = sequence.Current();
    if (wizard::PageSequence::ReadsScript(step)) {
        // The folder browser may have left another folder current.
        workFolder.Enter();
        const Status status = LerScript();
        if (!status) {
            ShowMessage(status);
            End(kFatalExitCode);
            return;
        }
    }
    switch (step) {
    case wizard::Step::kPresentation:
        TE1();
        break;
    case wizard::Step::kAgreement:
        TE2();
        break;
    case wizard::Step::kOptions:
        // A group list the shell does not give leaves the list empty.
        TE3(DirDest, ModosInst, NomeGrupo);
        break;
    case wizard::Step::kStart:
        TE4();
        break;
    case wizard::Step::kInstall:
        TEP(install::SelectedBytes(*listaDado, ModosInst));
        End(Finish());
        break;
    case wizard::Step::kConfirmation:
        _TE1();
        break;
    case wizard::Step::kUninstall:
        End(Finish());
        break;
    case wizard::Step::kNothing:
        break;
    }
}

bool TProcTramor::CheckOptions()
{
    std::string full;
    Status status = install::CheckGroupName(NomeGrupo);
    if (status)
        status = install::CheckDestination(DirDest, platform::CurrentFolder(), sysfolders::ProtectedFolders(), &full);
    if (!status) {
        MessageBoxExA(pai->GetHandle(), status.Text().c_str(), status.Caption().c_str(), MB_OK | MB_ICONHAND, 0);
        return false;
    }
    if (!install::HoldsOtherFiles(full))
        return true;
    return MessageBoxExA(pai->GetHandle(), install::OtherFilesWarning(full, true).c_str(), "Installation Options",
                         MB_YESNO | MB_ICONEXCLAMATION | MB_DEFBUTTON2, 0) == IDYES;
}

void TProcTramor::Next()
{
    if (running)
        return;
    if (!sequence.NextClosesPages()) {
        sequence.Forward();
        Processar();
        return;
    }
    if (sequence.Current() == wizard::Step::kOptions && !CheckOptions())
        return;
    if (TryFecharJanelas(true)) {
        sequence.Forward();
        Processar();
    }
}

void TProcTramor::Back()
{
    if (running)
        return;
    static_cast<void>(TryFecharJanelas(false));  // whatever the pages answer
    sequence.Backward();
    Processar();
}

int TProcTramor::Finish(TRelaunch* parent)
{
    running = true;
    // The procedure lets messages through: nothing may click or close the
    // wizard under it.
    if (pai != nullptr)
        EnableWindow(GetAncestor(pai->GetHandle(), GA_ROOT), FALSE);
    if (Modo != startup::kInstallMode)
        return UninstallProcedure(workFolder, NomeGrupo, DirDest, listaDado.get(), silent, parent).Run();
    // Unattended, there is no dialog to show the progress or hear Cancel.
    SilentProgress noProgress;
    InstallProgress& progress = dProg ? static_cast<InstallProgress&>(*dProg) : noProgress;
    InstallProcedure::Settings settings{DirAtual, DirDest,      NomeGrupo,  ModosInst, listaDado.get(),
                                        appName,  appPublisher, appVersion, silent};
    return InstallProcedure(workFolder, std::move(settings), progress).Run();
}
