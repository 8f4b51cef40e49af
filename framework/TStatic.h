// A static text, made here or bound to a dialog template's control. The
// text limit bounds what GetText returns (0: no limit of its own).
#pragma once

#include "TControl.h"

class TStatic : public TControl {
public:
    TStatic(TWindow* parent, int id, const char* text, int x, int y, int w, int h, int textLimit = 0);
    TStatic(TWindow* parent, int resourceId, int textLimit = 0);

    void SetText(const char* text) { SetCaption(text); }
    int GetText(char* buffer, int size) const;

protected:
    const char* ClassName() const override { return "STATIC"; }

private:
    int textLimit_;
};
