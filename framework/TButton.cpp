#include "TButton.h"

TButton::TButton(TWindow* parent, int id, const char* text, int x, int y, int w, int h, bool isDefault)
    : TControl(parent, id, text, x, y, w, h)
{
    Attr.Style |= WS_TABSTOP | (isDefault ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON);
}

TButton::TButton(TWindow* parent, int resourceId) : TControl(parent, resourceId)
{
}
