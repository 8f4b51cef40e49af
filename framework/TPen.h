// A pen, owned.
#pragma once

#include "TColor.h"
#include "TGdiBase.h"

class TPen : public TGdiBase {
public:
    explicit TPen(TColor color, int width = 1, int style = PS_SOLID);

    HPEN GetPen() const { return static_cast<HPEN>(GetHandle()); }
};
