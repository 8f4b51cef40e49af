// A single-line edit field with border and horizontal auto-scroll. Every
// change of its text, also one made by SetText, reaches the parent's
// OnCommand as EN_CHANGE with the field's id.
#pragma once

#include "TControl.h"

class TEdit : public TControl {
public:
    // textLimit 0: the platform's own limit.
    TEdit(TWindow* parent, int id, const char* text, int x, int y, int w, int h, int textLimit = 0);

    void SetText(const char* text) { SetCaption(text); }
    // At most size - 1 characters and a terminating zero; the characters copied.
    int GetText(char* buffer, int size) const { return GetWindowText(buffer, size); }
    int GetTextLength() const;

    bool SetupWindow() override;

protected:
    const char* ClassName() const override { return "EDIT"; }

private:
    int textLimit_;
};
