// The progress dialog ("IDD_PROGRESS"): two lines of text (what is being
// done, the file at hand), the bar, and a Cancel button that only records
// the wish: Cancel and Esc never close the dialog; the installation asks
// IsCanceled and stops itself.
//
// As the progress hook of an extraction, the dialog shows the running
// total plus the bytes of the file at hand, and lets the thread's pending
// messages through, so that it repaints, moves and hears Cancel while a
// large file is written. Thousands of small files go by faster than anyone
// reads: the second line and the bar are drawn at most every few hundredths
// of a second, and at once when the total is reached.
#pragma once

#include "TSProgresso.h"

#include "InstallProgress.h"

#include "TButton.h"
#include "TDialog.h"
#include "TStatic.h"

#include <cstdint>
#include <memory>
#include <string>

class TDProgresso : public TDialog, public InstallProgress {
public:
    static constexpr int kBarId = 40001;
    static constexpr int kText1Id = 40002;
    static constexpr int kText2Id = 40003;

    // The window comes with the modeless Create(); it is visible at once.
    TDProgresso(TWindow* pai, uint64_t VMax);
    ~TDProgresso() override;

    void Texto1(const char* s) override;
    // Shown at the next drawing (at once when one is due).
    void Texto2(const char* s) override;
    // The running total, in bytes.
    void ValAtual(uint64_t VAtual) override;
    // Draws the second line and the bar as they stand now.
    void Flush();
    // The Cancel command: recorded, the dialog stays.
    void Cancel();
    int IsCanceled() const { return Canceled; }

    // `done` bytes of the file at hand, beyond the last ValAtual.
    bool Advance(uint64_t done) override;
    // Dispatches the thread's pending messages (the dialog's keys through
    // the dialog navigation, so Esc is Cancel).
    void LetMessagesThrough();
    // LetMessagesThrough, then IsCanceled.
    bool StopAsked() override;
    // Draws what is pending and destroys the dialog's window.
    void Finished() override;

protected:
    void OnCommand(int id, int notifyCode, HWND control) override;

private:
    // Draws what is pending when a drawing is due, or `now`.
    void Show(uint64_t value, bool now);

    int Canceled = 0;
    uint64_t total_ = 0;  // the last ValAtual
    std::string text2_;   // the second line, shown or not yet
    bool text2Pending_ = false;
    DWORD lastShown_ = 0;   // tick count of the last drawing
    DWORD lastPumped_ = 0;  // and of the last look at the message queue
    std::unique_ptr<TStatic> sTexto1;
    std::unique_ptr<TStatic> sTexto2;
    std::unique_ptr<TSProgresso> sProg;
    std::unique_ptr<TButton> bCancel;
};
