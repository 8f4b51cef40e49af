// The wizard's steps without windows: which page or procedure each step
// shows and what Next and Back do to the step counter (the pages' titles,
// texts and captions are in PageTexts.h). The page manager
// (TWinTramor/TProcTramor) is thin window code over it.
//
//   install:   1 presentation, 2 agreement, 3 options (the script's
//              settings read again), 4 start, 5 installation
//   uninstall: 1 confirmation (after the script is read), 2 uninstallation
//
// Next closes the page first (a page may refuse), except on the start page,
// which stays behind the progress dialog. Back closes whatever is open and
// goes one step back, never below 1; every visit builds its page afresh.
#pragma once

#include "StartupRules.h"

namespace wizard {

enum class Step {
    kPresentation,
    kAgreement,
    kOptions,
    kStart,
    kInstall,
    kConfirmation,
    kUninstall,
    kNothing,
};

class PageSequence {
public:
    // startup::kInstallMode, or any other value for uninstall.
    explicit PageSequence(int Modo) : install_(Modo == startup::kInstallMode) {}

    int Etapa() const { return etapa_; }
    Step Current() const;

    // Whether Next must close the pages (asking them) before it moves on.
    bool NextClosesPages() const { return !(install_ && etapa_ == 4); }
    void Forward() { ++etapa_; }
    void Backward() { etapa_ = etapa_ > 1 ? etapa_ - 1 : 1; }

    // Entering this step reads the script's settings and file list anew.
    static bool ReadsScript(Step step) { return step == Step::kOptions || step == Step::kConfirmation; }

private:
    bool install_;
    int etapa_ = 1;
};

}  // namespace wizard
