#include "TDProgresso.h"

namespace {

constexpr int kTextLimit = 128;

}  // namespace

TDProgresso::TDProgresso(TWindow* pai, uint64_t VMax)
    : TDialog(pai, "IDD_PROGRESS"),
      sTexto1(std::make_unique<TStatic>(this, kText1Id, kTextLimit)),
      sTexto2(std::make_unique<TStatic>(this, kText2Id, kTextLimit)),
      sProg(std::make_unique<TSProgresso>(this, kBarId, VMax)),
      bCancel(std::make_unique<TButton>(this, IDCANCEL))
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
    sTexto2->SetText(s);
}

void TDProgresso::ValAtual(uint64_t VAtual)
{
    total_ = VAtual;
    sProg->ValAtual(VAtual);
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
    sProg->ValAtual(total_ + done);
    LetMessagesThrough();
    return Canceled == 0;
}

void TDProgresso::LetMessagesThrough()
{
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
