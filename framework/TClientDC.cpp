#include "TClientDC.h"

TClientDC::TClientDC(HWND window) : TDC(GetDC(window)), window_(window)
{
}

TClientDC::~TClientDC()
{
    if (dc_ != nullptr)
        ReleaseDC(window_, dc_);
}
