#include "TRadioButton.h"

TRadioButton::TRadioButton(TWindow* parent, int id, const char* text, int x, int y, int w, int h, TGroupBox* group)
    : TControl(parent, id, text, x, y, w, h), group_(group)
{
    Attr.Style |= BS_AUTORADIOBUTTON;
}

void TRadioButton::SetCheck(int state)
{
    Send(BM_SETCHECK, static_cast<WPARAM>(state));
}

int TRadioButton::GetCheck() const
{
    return static_cast<int>(Send(BM_GETCHECK));
}
