// The progress dialog ("IDD_PROGRESS"): two lines of text (what is being
// done, the file at hand), the bar, and a Cancel button that only records
// the wish: Cancel and Esc never close the dialog; the installation asks
// IsCanceled and stops itself.
//
// As the progress hook of an extraction, the dialog shows the running
// total plus the bytes of the file at hand, and lets the thread's pending
// messages through, so that it repaints, moves and hears Cancel while a
// large file is written.
#pragma once

#include "TSProgresso.h"

#include "ProgressHook.h"

#include "TButton.h"
#include "TDialog.h"
#include "TStatic.h"

#include <cstdint>
#include <memory>

class TDProgresso : public TDialog, public ProgressHook {
public:
    static constexpr int kBarId = 40001;
    static constexpr int kText1Id = 40002;
    static constexpr int kText2Id = 40003;

    // The window comes with the modeless Create(); it is visible at once.
    TDProgresso(TWindow* pai, uint64_t VMax);
    ~TDProgresso() override;

    void Texto1(const char* s);
    void Texto2(const char* s);
    // The running total, in bytes; the bar is drawn at once.
    void ValAtual(uint64_t VAtual);
    // The Cancel command: recorded, the dialog stays.
    void Cancel();
    int IsCanceled() const { return Canceled; }

    // `done` bytes of the file at hand, beyond the last ValAtual.
    bool Advance(uint64_t done) override;
    // Dispatches the thread's pending messages (the dialog's keys through
    // the dialog navigation, so Esc is Cancel).
    void LetMessagesThrough();

protected:
    void OnCommand(int id, int notifyCode, HWND control) override;

private:
    int Canceled = 0;
    uint64_t total_ = 0;  // the last ValAtual
    std::unique_ptr<TStatic> sTexto1;
    std::unique_ptr<TStatic> sTexto2;
    std::unique_ptr<TSProgresso> sProg;
    std::unique_ptr<TButton> bCancel;
};
