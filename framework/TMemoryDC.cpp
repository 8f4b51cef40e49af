#include "TMemoryDC.h"

TMemoryDC::TMemoryDC(const TDC& compatible) : TDC(CreateCompatibleDC(compatible.GetHandle()))
{
}

TMemoryDC::~TMemoryDC()
{
    if (dc_ != nullptr)
        DeleteDC(dc_);
}
