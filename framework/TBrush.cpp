#include "TBrush.h"

TBrush::TBrush(TColor color) : TGdiBase(CreateSolidBrush(color.Ref()), true)
{
}
