// A memory context compatible with another context, deleted at the end of
// its scope.
#pragma once

#include "TDC.h"

class TMemoryDC : public TDC {
public:
    explicit TMemoryDC(const TDC& compatible);
    ~TMemoryDC();
};
