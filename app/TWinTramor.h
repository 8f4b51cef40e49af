// The page manager: creates one wizard page at a time as a child of the
// main window (handing it the main window's Back, Next and Cancel buttons,
// which the page sets up), closes pages, and holds the progress dialog.
// The main window calls the step logic (Processar, Next, Back) that the
// derived TProcTramor provides.
#pragma once

#include "TDProgresso.h"
#include "TTE0.h"
#include "TTE1.h"
#include "TTE2.h"
#include "TTE3.h"

#include "PageTexts.h"
#include "WorkFolder.h"

#include "Status.h"

#include "TButton.h"
#include "TWindow.h"

#include <cstdint>
#include <memory>
#include <string>

class TWinTramor {
public:
    TWinTramor(TWindow* _pai, TButton* _back, TButton* _next, TButton* _cancel);
    // Deletes te1, te2, te3, te0 and dProg, in this order, without asking them.
    virtual ~TWinTramor();
    TWinTramor(const TWinTramor&) = delete;
    TWinTramor& operator=(const TWinTramor&) = delete;

    // The step logic, called by the main window.
    virtual void Processar() = 0;
    virtual void Next() = 0;
    virtual void Back() = 0;

    // ---- Ending form, as the wizard fixes it -------------------------------

    // Closes the pages and the progress dialog, asking each first: 0 when
    // one refused and Verificar is non-zero (it and those after it stay), 1
    // when all are closed.
    int FecharJanelas(int Verificar);

    // ---- Reporting form ----------------------------------------------------

    // FecharJanelas: a failure (kRefused) when a page refused and `verify`.
    Status TryFecharJanelas(bool verify);

    // ---- The pages ---------------------------------------------------------

    // The presentation and agreement pages read their texts from the run's
    // working folder, which they make current first.
    void TE1();
    void TE2();
    // The options page edits the three buffers in place.
    void TE3(char* dirDest, char* modosInst, char* nomeGrupo);
    // The start page and the uninstall confirmation: plain pages.
    void TE4();
    void _TE1();  // NOLINT(bugprone-reserved-identifier)
    // The progress dialog for `VMax` bytes, modeless and visible at once.
    void TEP(uint64_t VMax);

protected:
    TWindow* pai;
    TButton* back;
    TButton* next;
    TButton* cancel;
    std::unique_ptr<TTE1> te1;
    std::unique_ptr<TTE2> te2;
    std::unique_ptr<TTE3> te3;
    std::unique_ptr<TTE0> te0;
    std::unique_ptr<TDProgresso> dProg;

    // The run's working folder: current when the page manager is made.
    const WorkFolder workFolder;

private:
    // A plain page showing `page`.
    void PlainPage(const PageText& page);
};
