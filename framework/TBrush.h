// A solid brush, owned.
#pragma once

#include "TColor.h"
#include "TGdiBase.h"

class TBrush : public TGdiBase {
public:
    explicit TBrush(TColor color);

    HBRUSH GetBrush() const { return static_cast<HBRUSH>(GetHandle()); }
};
