// The wizard's window, the client of the main frame: light grey with a
// raised border, the package's bitmap at the top left, the Back, Next,
// Cancel and About buttons along the bottom above an etched line, and the
// pages of the step logic right of the bitmap.
#pragma once

#include "TProcTramor.h"

#include "TButton.h"
#include "TImagemBMP.h"
#include "TWindow.h"

#include <memory>
#include <string>

class TKelvoWindow : public TWindow {
public:
    static constexpr int kBackId = 51000;
    static constexpr int kNextId = 51001;
    static constexpr int kCancelId = 51002;
    static constexpr int kAboutId = 51004;

    // `appName`: the application's name for the About box and the Cancel
    // question (empty: the setup's own).
    TKelvoWindow(int Modo, std::string appName);
    ~TKelvoWindow() override;

    bool SetupWindow() override;
    void Paint(TDC& DC, bool erase, TRect& Rect) override;
    // Not while a procedure is at work: it would be destroyed under it.
    bool CanClose() override;

    // The whole client area, background included, is painted anew.
    void AtualizarTela();
    void EvSetFocus(HWND lost);
    void Back();
    void Next();
    void Cancel();
    void About();

protected:
    LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;
    void OnCommand(int id, int notifyCode, HWND control) override;

private:
    std::unique_ptr<TImagemBMP> imagemBMP;
    std::unique_ptr<TButton> bBack;
    std::unique_ptr<TButton> bNext;
    std::unique_ptr<TButton> bCancel;
    // The step logic and page manager, made last by the constructor and
    // handed this window and its Back, Next and Cancel buttons.
    std::unique_ptr<TProcTramor> procTramor;
    std::unique_ptr<TButton> bAbout;  // never changes once made
    const std::string appName;
};
