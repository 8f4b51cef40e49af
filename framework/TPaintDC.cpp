#include "TPaintDC.h"

TPaintDC::TPaintDC(HWND window) : TDC(nullptr), window_(window), ps_()
{
    dc_ = BeginPaint(window_, &ps_);
}

TPaintDC::~TPaintDC()
{
    EndPaint(window_, &ps_);
}
