// The wizard's steps without windows: which page or procedure each step
// shows, what Next and Back do to the step counter, and the title, text and
// button captions of each page. The page manager (TWinTramor/TProcTramor)
// is thin window code over it.
//
//   install:   1 presentation, 2 agreement, 3 options (the script's
//              settings read again), 4 start, 5 installation
//   uninstall: 1 confirmation (after the script is read), 2 uninstallation
//
// Next closes the page first (a page may refuse), except on the start page,
// which stays behind the progress dialog. Back closes whatever is open and
// goes one step back, never below 1; every visit builds its page afresh.
#pragma once

#include "PageTexts.h"

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
    // 1 install, any other value uninstall.
    explicit PageSequence(int Modo) : install_(Modo == 1) {}

    int Etapa() const { return etapa_; }
    Step Current() const;

    // Whether Next must close the pages (asking them) before it moves on.
    bool NextClosesPages() const { return !(install_ && etapa_ == 4); }
    void Forward() { ++etapa_; }
    void Backward() { etapa_ = etapa_ > 1 ? etapa_ - 1 : 1; }

    // Entering this step reads the script's settings and file list anew.
    static bool ReadsScript(Step step) { return step == Step::kOptions || step == Step::kConfirmation; }
    // The page a step shows (the installation keeps the start page, the
    // uninstallation the confirmation); none for kNothing.
    static const PageText* Page(Step step);

private:
    bool install_;
    int etapa_ = 1;
};

}  // namespace wizard
