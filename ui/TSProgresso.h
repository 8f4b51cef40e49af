// The progress bar: control 40001 of the progress dialog, a static control
// that draws itself as a white field in a black frame, filled in red from
// the left in proportion to the bytes done. An update draws at once, so the
// bar moves while the installation works between message dispatches.
#pragma once

#include "TStatic.h"

#include <cstdint>

class TSProgresso : public TStatic {
public:
    // Control `ResId` of the dialog `pai`; `VMax` bytes fill the bar.
    TSProgresso(TWindow* pai, int ResId, uint64_t VMax);

    // The bytes done so far; the bar is drawn again at once when it moved.
    void ValAtual(uint64_t VAtual);
    // Draws the whole control now.
    void EvPaint();
    void Paint(TDC& DC, bool erase, TRect& Rect) override;

    uint64_t GetMax() const { return Max; }
    uint64_t GetAtual() const { return Atual; }

protected:
    LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
    // Right end of the red bar in a control `right` pixels wide; totals past
    // 4 GiB are counted in floating point, so the bar stays proportional.
    int BarEnd(int right) const;

    // Byte counts are 64-bit: a package may install more than 4 GiB.
    uint64_t Max;
    uint64_t Atual = 0;
    int drawnEnd_ = -1;  // the bar's end as last drawn
};
