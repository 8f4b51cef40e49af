// A group frame. It starts a control group (WS_GROUP): the automatic radio
// buttons made after it, without a group mark of their own, form one group.
#pragma once

#include "TControl.h"

class TGroupBox : public TControl {
public:
    TGroupBox(TWindow* parent, int id, const char* text, int x, int y, int w, int h);

protected:
    const char* ClassName() const override { return "BUTTON"; }
};
