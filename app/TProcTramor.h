// The step logic and the two procedures: the wizard's settings (destination
// folder, program group, mode, file list), the page sequence over them, and
// at the last step the installation (extract the mode's files from the
// package into the destination folder, create the program group and its
// items, leave what the uninstaller needs) or the uninstallation (delete
// the group and the destination tree).
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

class TProcTramor : public TWinTramor {
public:
    TProcTramor(TWindow* pai, int _Modo, TButton* back, TButton* next, TButton* cancel);
    ~TProcTramor() override;

    // The destination, group name, modes and file list from "kelvo.se" in
    // the current folder.
    Status LerScript();
    // The installation (mode 1) or the uninstallation; the exit code.
    int Finish();
    // The procedure without a window (`pai` and the buttons null): the
    // script's settings or the options' for the installation, none asked
    // for the uninstallation, no message box. The exit code (CommandLine.h).
    int RunSilent(const cmdline::Options& options);

    void Processar() override;
    void Next() override;
    void Back() override;

    int Etapa() const { return sequence.Etapa(); }
    // While a procedure runs (and lets messages through) the main window
    // must not be closed under it.
    bool Running() const { return running; }

private:
    int Install();
    int Uninstall();
    // Shows the failure with what it leaves behind; the exit code 1.
    int Fail(const Status& status, const std::string& leftBehind);
    // Leaves the destination folder, removing it when the installation
    // made it and it is empty.
    void LeaveDestination(const std::string& destination, bool existed) const;
    // Leaves the run's working folder and removes it (it must be empty).
    void LeaveWorkFolder() const;
    // Ends the wizard with `code` once the handler at work returns.
    void End(int code);
    // Whether the options typed on the options page can be used; says why not.
    bool CheckOptions();

    const int Modo;
    wizard::PageSequence sequence;
    char DirAtual[kPathSize] = "";
    char DirDest[kPathSize] = "";
    char NomeGrupo[kPathSize] = "";
    char ModosInst[5] = "XXX";
    std::unique_ptr<TListaDado> listaDado;
    // For the list of installed programs: the script's name, publisher and
    // version of the application (empty when it has none).
    std::string appName;
    std::string appPublisher;
    std::string appVersion;
    bool running = false;
    bool silent = false;
};
