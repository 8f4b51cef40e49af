// A scroll-bar control. It moves itself on the codes its parent receives:
// a line by 1, a page by 10, to the thumb while it is dragged or dropped,
// to either end on top and bottom, always within its range. The parent's
// OnScroll then reads the new position.
#pragma once

#include "TControl.h"

class TScrollBar : public TControl {
public:
    TScrollBar(TWindow* parent, int id, int x, int y, int w, int h, bool horizontal);

    int LineMagnitude = 1;
    int PageMagnitude = 10;

    void SetRange(int min, int max);
    void GetRange(int& min, int& max) const;
    int GetPosition() const { return position_; }
    void SetPosition(int position);

    bool SetupWindow() override;
    void ReflectScroll(int code, int thumb) override;

protected:
    const char* ClassName() const override { return "SCROLLBAR"; }

private:
    int min_ = 0;
    int max_ = 100;
    int position_ = 0;
};
