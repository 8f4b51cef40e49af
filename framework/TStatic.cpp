#include "TStatic.h"

TStatic::TStatic(TWindow* parent, int id, const char* text, int x, int y, int w, int h, int textLimit)
    : TControl(parent, id, text, x, y, w, h), textLimit_(textLimit)
{
    Attr.Style |= SS_LEFT;
}

TStatic::TStatic(TWindow* parent, int resourceId, int textLimit) : TControl(parent, resourceId), textLimit_(textLimit)
{
}

int TStatic::GetText(char* buffer, int size) const
{
    if (textLimit_ > 0 && size > textLimit_)
        size = textLimit_;
    return GetWindowText(buffer, size);
}
