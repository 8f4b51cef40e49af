// The step logic: the wizard's settings (destination folder, program group,
// mode, file list), the page sequence over them, and at the last step the
// installation (InstallProcedure) or the uninstallation
// (UninstallProcedure); an unattended run (SilentRun) goes straight to it.
//
// A procedure ends the wizard: Finish returns the exit code, and the
// application's message loop ends with it, so that every object is
// destroyed and the program-group conversation closed on the way out.
#pragma once

#include "TWinTramor.h"

#include "CommandLine.h"
#include "PageSequence.h"

#include "Limits.h"
#include "Status.h"
#include "TListaDado.h"

#include <memory>
#include <string>

class TRelaunch;

class TProcTramor : public TWinTramor {
public:
    TProcTramor(TWindow* pai, int _Modo, TButton* back, TButton* next, TButton* cancel);
    ~TProcTramor() override;

    // The destination, group name, modes and file list from "kelvo.se" in
    // the current folder.
    Status LerScript();
    // The installation (install mode) or the uninstallation; the exit code.
    // `parent`: the installed copy waiting for the uninstallation's result.
    int Finish(TRelaunch* parent = nullptr);
    // The procedure without a window (`pai` and the buttons null): the
    // script's settings or the options' for the installation, none asked
    // for the uninstallation, no message box. The exit code (CommandLine.h).
    int RunSilent(const cmdline::Options& options, TRelaunch* parent = nullptr);

    void Processar() override;
    void Next() override;
    void Back() override;

    int Etapa() const { return sequence.Etapa(); }
    // While a procedure runs (and lets messages through) the main window
    // must not be closed under it.
    bool Running() const { return running; }

private:
    // Ends the wizard with `code` once the handler at work returns.
    void End(int code);
    // Whether the options typed on the options page can be used; says why not.
    bool CheckOptions();

    const int Modo;
    wizard::PageSequence sequence;
    char DirAtual[kPathSize] = "";
    char DirDest[kPathSize] = "";
    char NomeGrupo[kPathSize] = "";
    char ModosInst[kModesSize] = "XXX";
    std::unique_ptr<TListaDado> listaDado;
    // For the list of installed programs: the script's name, publisher and
    // version of the application (empty when it has none).
    std::string appName;
    std::string appPublisher;
    std::string appVersion;
    bool running = false;
    bool silent = false;
};
