#include "TEdit.h"

TEdit::TEdit(TWindow* parent, int id, const char* text, int x, int y, int w, int h, int textLimit)
    : TControl(parent, id, text, x, y, w, h), textLimit_(textLimit)
{
    Attr.Style |= WS_TABSTOP | WS_BORDER | ES_LEFT | ES_AUTOHSCROLL;
}

bool TEdit::SetupWindow()
{
    if (!TControl::SetupWindow())
        return false;
    if (textLimit_ > 0)
        Send(EM_LIMITTEXT, static_cast<WPARAM>(textLimit_));
    return true;
}

int TEdit::GetTextLength() const
{
    return GetHandle() != nullptr ? GetWindowTextLengthA(GetHandle()) : 0;
}
