// A font made by the font mapper from a face name and metrics, owned. The
// arguments follow the platform's logical font, in its order after the face.
#pragma once

#include "TGdiBase.h"

class TFont : public TGdiBase {
public:
    TFont(const char* facename, int height, int width, int escapement = 0, int orientation = 0, int weight = FW_NORMAL,
          BYTE pitchAndFamily = 0, BYTE italic = 0, BYTE underline = 0, BYTE strikeout = 0,
          BYTE charSet = DEFAULT_CHARSET, BYTE outputPrecision = 0, BYTE clipPrecision = 0, BYTE quality = 0);

    HFONT GetFont() const { return static_cast<HFONT>(GetHandle()); }
};
