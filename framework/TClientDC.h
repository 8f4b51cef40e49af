// The context of a window's client area (of the whole screen for a null
// window), released at the end of its scope.
#pragma once

#include "TDC.h"

class TClientDC : public TDC {
public:
    explicit TClientDC(HWND window);
    ~TClientDC();

private:
    HWND window_;
};
