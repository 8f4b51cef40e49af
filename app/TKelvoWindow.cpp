#include "TKelvoWindow.h"

#include "StartupRules.h"
#include "TAboutDialog.h"
#include "resource.h"

#include "TBrush.h"
#include "TDC.h"
#include "TDialog.h"
#include "TPen.h"

#include "SetupLayout.h"

#include <utility>

namespace {

constexpr int kWidth = 600;
constexpr int kHeight = 400;
constexpr int kButtonWidth = 100;
constexpr int kButtonHeight = 32;

const char kCancelCaption[] = "Application Canceled!";

// Column k (1, 3, 5, 7) of the button row: eighths of the width, centred.
int ButtonX(int eighth)
{
    return eighth * (kWidth / 8) - kButtonWidth / 2;
}

}  // namespace

TKelvoWindow::TKelvoWindow(int Modo, std::string _appName) : TWindow(nullptr, ""), appName(std::move(_appName))
{
    Attr.X = 20;
    Attr.Y = 20;
    Attr.W = kWidth;
    Attr.H = kHeight;
    // Every child (bitmap, buttons, pages) paints all of its own area.
    Attr.Style |= WS_CLIPCHILDREN;
    const int y = Attr.H - 48;

    imagemBMP = std::make_unique<TImagemBMP>(this, layout::kBitmap, TPoint(10, 10));
    bBack = std::make_unique<TButton>(this, kBackId, "< Back", ButtonX(1), y, kButtonWidth, kButtonHeight);
    bNext = std::make_unique<TButton>(this, kNextId, "Next >", ButtonX(3), y, kButtonWidth, kButtonHeight, true);
    bCancel = std::make_unique<TButton>(this, kCancelId, "Cancel", ButtonX(5), y, kButtonWidth, kButtonHeight);
    bAbout = std::make_unique<TButton>(this, kAboutId, "About!", ButtonX(7), y, kButtonWidth, kButtonHeight);

    procTramor = std::make_unique<TProcTramor>(this, Modo, bBack.get(), bNext.get(), bCancel.get());
}

TKelvoWindow::~TKelvoWindow()
{
    imagemBMP.reset();
    bBack.reset();
    bNext.reset();
    bCancel.reset();
    procTramor.reset();
}

bool TKelvoWindow::SetupWindow()
{
    if (!TWindow::SetupWindow())
        return false;
    procTramor->Processar();
    AtualizarTela();
    return true;
}

void TKelvoWindow::AtualizarTela()
{
    Invalidate(true);
}

void TKelvoWindow::EvSetFocus(HWND)
{
    AtualizarTela();
}

void TKelvoWindow::Back()
{
    procTramor->Back();
    AtualizarTela();
}

void TKelvoWindow::Next()
{
    procTramor->Next();
    AtualizarTela();
}

bool TKelvoWindow::CanClose()
{
    return !procTramor->Running() && TWindow::CanClose();
}

void TKelvoWindow::Cancel()
{
    const int answer = MessageBoxExA(GetHandle(), startup::CancelQuestion(appName).c_str(), kCancelCaption,
                                     MB_YESNO | MB_ICONHAND, 0);
    if (answer == IDNO)
        return;
    CloseWindow();
}

void TKelvoWindow::About()
{
    TAboutDialog(this, appName).Execute();
}

LRESULT TKelvoWindow::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_SETFOCUS:
        EvSetFocus(reinterpret_cast<HWND>(wParam));
        return 0;
    case DM_GETDEFID:
        // Enter presses Next, the default push button.
        return MAKELRESULT(kNextId, DC_HASDEFID);
    case WM_PALETTECHANGED:
    case WM_QUERYNEWPALETTE:
        // Passed on by the frame; the bitmap view is what draws with a palette.
        if (imagemBMP && imagemBMP->GetHandle() != nullptr)
            return SendMessageA(imagemBMP->GetHandle(), msg, wParam, lParam);
        return 0;
    }
    return TWindow::WindowProc(msg, wParam, lParam);
}

void TKelvoWindow::OnCommand(int id, int notifyCode, HWND)
{
    if (notifyCode != BN_CLICKED || procTramor->Running())
        return;
    // Esc reaches the window as the dialog command IDCANCEL.
    if (id == IDCANCEL)
        id = kCancelId;
    // A disabled button does nothing, also when a key or a message asks.
    const TButton* buttons[] = {bBack.get(), bNext.get(), bCancel.get()};
    for (const TButton* button : buttons) {
        if (button->Attr.Id == id && !button->IsWindowEnabled())
            return;
    }
    switch (id) {
    case kBackId:
        Back();
        break;
    case kNextId:
        Next();
        break;
    case kCancelId:
        Cancel();
        break;
    case kAboutId:
        About();
        break;
    }
}

void TKelvoWindow::Paint(TDC& DC, bool, TRect& Rect)
{
    Rect = GetClientRect();
    const int L = Rect.left;
    const int T = Rect.top;
    const int R = Rect.right;
    const int B = Rect.bottom;

    DC.FillRect(Rect, TBrush(TColor::LtGray));
    DC.SetBkColor(TColor::LtGray);
    DC.SetBkMode(OPAQUE);

    const TPen white(TColor::White);
    const TPen gray(TColor::Gray);
    auto line = [&DC](int x1, int y1, int x2, int y2) {
        DC.MoveTo(x1, y1);
        DC.LineTo(x2, y2);
    };
    {
        // Raised border: white on top and left, grey on right and bottom.
        auto pen = DC.SelectObject(white);
        line(R, T, L, T);
        line(R, T + 1, L, T + 1);
        line(L, T, L, B);
        line(L + 1, T, L + 1, B);
    }
    {
        auto pen = DC.SelectObject(gray);
        line(R - 1, T, R - 1, B);
        line(R - 2, T, R - 2, B);
        line(L, B - 1, R, B - 1);
        line(L, B - 2, R, B - 2);
    }
    {
        // Etched line above the button row: two grey lines over two white.
        auto pen = DC.SelectObject(white);
        line(L, B - 64, R, B - 64);
        line(L, B - 63, R, B - 63);
    }
    {
        auto pen = DC.SelectObject(gray);
        line(L, B - 66, R, B - 66);
        line(L, B - 65, R, B - 65);
    }
}
