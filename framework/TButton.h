// A push button; BN_CLICKED reaches the parent's OnCommand with its id.
#pragma once

#include "TControl.h"

class TButton : public TControl {
public:
    TButton(TWindow* parent, int id, const char* text, int x, int y, int w, int h, bool isDefault = false);
    TButton(TWindow* parent, int resourceId);

protected:
    const char* ClassName() const override { return "BUTTON"; }
};
