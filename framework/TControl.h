// What every control shares: made as a child window of a platform control
// class with an id, or bound to a control of a dialog template by its id.
// Its messages go to the control's own procedure unless a derived class
// answers them in its WindowProc.
#pragma once

#include "TWindow.h"

class TControl : public TWindow {
public:
    bool Create() override;
    bool AttachToDialog(HWND dialog) override;

protected:
    // A control this object makes: child `id` of parent at x, y, size w x h.
    TControl(TWindow* parent, int id, const char* text, int x, int y, int w, int h);
    // Control `resourceId` of the parent dialog's template.
    TControl(TWindow* parent, int resourceId);

    LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;
    const char* ClassName() const override = 0;
    LRESULT Send(UINT msg, WPARAM wParam = 0, LPARAM lParam = 0) const;

private:
    bool fromResource_;
};
