// The context of one WM_PAINT: BeginPaint at construction, EndPaint at the
// end of its scope.
#pragma once

#include "TDC.h"

class TPaintDC : public TDC {
public:
    explicit TPaintDC(HWND window);
    ~TPaintDC();

    bool Erase() const { return ps_.fErase != 0; }
    TRect PaintRect() const { return TRect(ps_.rcPaint); }

private:
    HWND window_;
    PAINTSTRUCT ps_;
};
