#include "TDProgresso.h"

namespace {

constexpr int kTextLimit = 128;
// Drawing more often than this shows nothing more and costs the
// installation its speed.
constexpr DWORD kDrawingInterval = 40;

}  // namespace

TDProgresso::TDProgresso(TWindow* pai, uint64_t VMax)
    : TDialog(pai, "IDD_PROGRESS"), sTexto1(std::make_unique<TStatic>(this, kText1Id, kTextLimit)),
      sTexto2(std::make_unique<TStatic>(this, kText2Id, kTextLimit)),
      sProg(std::make_unique<TSProgresso>(this, kBarId, VMax)), bCancel(std::make_unique<TButton>(this, IDCANCEL))
{
}

TDProgresso::~TDProgresso()
{
    sTexto1.reset();
    sTexto2.reset();
    sProg.reset();
}

void TDProgresso::Texto1(const char* s)
{
    sTexto1->SetText(s);
}

void TDProgresso::Texto2(const char* s)
{
    text2_ = s;
    text2Pending_ = true;
    Show(total_, false);
}

void TDProgresso::ValAtual(uint64_t VAtual)
{
    total_ = VAtual;
    Show(VAtual, VAtual >= sProg->GetMax());
}

void TDProgresso::Flush()
{
    Show(total_, true);
}

void TDProgresso::Show(uint64_t value, bool now)
{
    const DWORD tick = GetTickCount();
    if (!now && tick - lastShown_ < kDrawingInterval)
        return;
    lastShown_ = tick;
    if (text2Pending_) {
        sTexto2->SetText(text2_.c_str());
        text2Pending_ = false;
    }
    sProg->ValAtual(value);
}

void TDProgresso::Cancel()
{
    Canceled = 1;
}

void TDProgresso::OnCommand(int id, int notifyCode, HWND control)
{
    if (id == IDCANCEL) {
        Cancel();
        return;
    }
    TDialog::OnCommand(id, notifyCode, control);
}

bool TDProgresso::Advance(uint64_t done)
{
    Show(total_ + done, false);
    LetMessagesThrough();
    return Canceled == 0;
}

void TDProgresso::LetMessagesThrough()
{
    // Looking at the queue costs the system a round trip: a few times
    // in a drawing interval is often enough to repaint and hear Cancel.
    const DWORD tick = GetTickCount();
    if (tick - lastPumped_ < kDrawingInterval / 4)
        return;
    lastPumped_ = tick;
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            // Not ours to take: the message loop ends the program with it.
            PostQuitMessage(static_cast<int>(msg.wParam));
            return;
        }
        if (GetHandle() != nullptr && IsDialogMessageA(GetHandle(), &msg))
            continue;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

bool TDProgresso::StopAsked()
{
    LetMessagesThrough();
    return IsCanceled() != 0;
}

void TDProgresso::Finished()
{
    Flush();
    Destroy(IDCANCEL);
}
