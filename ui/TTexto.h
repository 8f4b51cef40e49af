// A bordered child window that shows a plain text file in Courier New,
// scrolled by a vertical and a horizontal scroll bar of its own (in pixels:
// a line step moves 1, a page step 10, the thumb follows a drag). Where the
// system has another face for that name, of fixed pitch or not, every
// character still stands where that face's advances put it.
//
// The file is read once, when the view is made, into a TextLines index;
// each paint then draws only the lines in view, and of a long line only
// the part in view. A missing or unreadable file shows as one empty line
// and is not reported.
//
// The view can hold a button back (the wizard's "Yes" under an agreement):
// it disables the button at once and enables it at the first paint in which
// the end of the text lies within the view, and never disables it again.
#pragma once

#include "TextLines.h"

#include "TButton.h"
#include "TFont.h"
#include "TScrollBar.h"
#include "TWindow.h"

#include <cstdint>
#include <memory>
#include <string>

class TTexto : public TWindow {
public:
    static constexpr int kVertId = 51100;
    static constexpr int kHorzId = 51101;
    // Pixels from one line's top to the next's; the font is one less high.
    static constexpr int kLinePitch = 16;
    static constexpr int kBarSize = 16;
    static constexpr int kMargin = 5;

    // `arq` (kept by pointer: the caller's string must outlive the view) is
    // read relative to the current folder; `bNext` may be null.
    TTexto(TWindow* pai, int X, int Y, int W, int H, const char* arq, TButton* bNext);
    ~TTexto() override;

    bool SetupWindow() override;
    void Paint(TDC& DC, bool Erase, TRect& Rect) override;

    // The offsets follow the bars' positions; the whole view is repainted.
    void SBVert();
    void SBHorz();

protected:
    void OnScroll(int id, int code) override;

private:
    // The font's advances, line height and the widest line, taken once.
    void Measure(TDC& DC);
    void SetRange(TScrollBar& bar, int max);
    void DrawLines(TDC& DC);

    std::unique_ptr<TScrollBar> sVert;
    std::unique_ptr<TScrollBar> sHorz;
    int XTexto = 0;
    int YTexto = 0;
    const char* arq;
    TButton* bNext;

    TextLines lines;
    TFont font;
    bool measured = false;
    TextLines::Advances advances{};
    int lineHeight = 0;       // as the font measures a line
    int64_t widestWidth = 0;  // in pixels
    std::string lineBuffer;   // the part of a line in sight, reused
};
