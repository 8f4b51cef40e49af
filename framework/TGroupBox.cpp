#include "TGroupBox.h"

TGroupBox::TGroupBox(TWindow* parent, int id, const char* text, int x, int y, int w, int h)
    : TControl(parent, id, text, x, y, w, h)
{
    Attr.Style |= BS_GROUPBOX | WS_GROUP;
}
