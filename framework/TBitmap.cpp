#include "TBitmap.h"

#include "TDC.h"
#include "TDib.h"

TBitmap::TBitmap(const TDC& dc, const TDib& dib)
    : TGdiBase(CreateDIBitmap(dc.GetHandle(), &dib.GetInfo()->bmiHeader, CBM_INIT, dib.GetBits(), dib.GetInfo(),
                              DIB_RGB_COLORS),
               true)
{
}
