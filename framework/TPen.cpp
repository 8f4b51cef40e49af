#include "TPen.h"

TPen::TPen(TColor color, int width, int style) : TGdiBase(CreatePen(style, width, color.Ref()), true)
{
}
