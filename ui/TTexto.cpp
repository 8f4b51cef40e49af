#include "TTexto.h"

#include "TBrush.h"
#include "TColor.h"
#include "TDC.h"

#include "File.h"

#include <algorithm>
#include <climits>
#include <cstdint>

namespace {

// The whole file, or nothing when it cannot be opened.
std::string ReadText(const char* name)
{
    std::string text;
    if (name == nullptr)
        return text;
    File file(name, "rb");
    if (!file.IsOpen())
        return text;
    const int64_t size = file.Size();
    if (size > 0 && static_cast<uint64_t>(size) < text.max_size())
        text.reserve(static_cast<size_t>(size));
    // What could be read before an error is shown.
    file.ReadRest(&text);
    return text;
}

int ClampToInt(int64_t value)
{
    return static_cast<int>(std::min<int64_t>(std::max<int64_t>(value, INT_MIN), INT_MAX));
}

}  // namespace

TTexto::TTexto(TWindow* pai, int X, int Y, int W, int H, const char* _arq, TButton* _bNext)
    : TWindow(pai), arq(_arq), bNext(_bNext), lines(ReadText(_arq)),
      // Courier New 15 high, 8 wide, normal weight, the default character set.
      font("COURIER NEW", 15, 8, 0, 0, FW_NORMAL, 0, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0)
{
    if (bNext != nullptr)
        bNext->EnableWindow(false);
    Attr.Style = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN | WS_BORDER;
    Attr.X = X;
    Attr.Y = Y;
    Attr.W = W;
    Attr.H = H;
    sVert = std::make_unique<TScrollBar>(this, kVertId, W - kBarSize, 0, kBarSize, H - kBarSize, false);
    sHorz = std::make_unique<TScrollBar>(this, kHorzId, 0, H - kBarSize, W - kBarSize, kBarSize, true);
}

TTexto::~TTexto()
{
    sVert.reset();
    sHorz.reset();
}

bool TTexto::SetupWindow()
{
    return sVert->Create() && sHorz->Create();
}

void TTexto::OnScroll(int id, int code)
{
    // The bar has already moved; the ends and the thumb's release leave the
    // text where it is until the next of these.
    switch (code) {
    case SB_LINEUP:
    case SB_LINEDOWN:
    case SB_PAGEUP:
    case SB_PAGEDOWN:
    case SB_THUMBTRACK:
        break;
    default:
        return;
    }
    if (id == kVertId)
        SBVert();
    else if (id == kHorzId)
        SBHorz();
}

void TTexto::SBVert()
{
    YTexto = sVert->GetPosition();
    Invalidate(true);
}

void TTexto::SBHorz()
{
    XTexto = sHorz->GetPosition();
    Invalidate(true);
}

void TTexto::Measure(TDC& DC)
{
    if (measured)
        return;
    if (!DC.CharWidths(0, 255, advances.data()))
        advances.fill(DC.GetTextExtent("x", 1).cx);
    lineHeight = DC.GetTextExtent(" ", 1).cy;
    widestWidth = lines.MaxWidth(advances);
    measured = true;
}

void TTexto::SetRange(TScrollBar& bar, int max)
{
    // Set only on a change: each setting redraws the bar.
    int oldMin = 0;
    int oldMax = 0;
    bar.GetRange(oldMin, oldMax);
    if (oldMin != 1 || oldMax != max)
        bar.SetRange(1, max);
}

void TTexto::DrawLines(TDC& DC)
{
    const int areaWidth = Attr.W - kBarSize;
    const int areaHeight = Attr.H - kBarSize;
    // Pixels of a line, counted from its start, that lie in sight.
    const int64_t left = static_cast<int64_t>(XTexto) - kMargin;
    const int64_t right = left + areaWidth;
    for (size_t i = static_cast<size_t>(std::max(YTexto, 0) / kLinePitch); i < lines.Count(); ++i) {
        const int64_t y = static_cast<int64_t>(kLinePitch) * static_cast<int64_t>(i) - YTexto;
        if (y >= areaHeight)
            break;
        const TextLines::Piece piece = lines.InSight(i, left, right, advances);
        if (piece.count == 0)
            continue;
        lines.Expand(i, piece.first, piece.count, lineBuffer);
        DC.TextOut(ClampToInt(piece.x - left), ClampToInt(y), lineBuffer.data(),
                   ClampToInt(static_cast<int64_t>(lineBuffer.size())));
    }
}

void TTexto::Paint(TDC& DC, bool, TRect&)
{
    auto selected = DC.SelectObject(font);
    const TBrush gray(TColor::Gray);
    DC.FillRect(TRect::FromSize(Attr.W - kBarSize, Attr.H - kBarSize, kBarSize, kBarSize), gray);
    DC.IntersectClipRect(TRect(0, 0, Attr.W - kBarSize, Attr.H - kBarSize));

    Measure(DC);
    DrawLines(DC);

    // The vertical range ends at the text's height, so the last line can be
    // scrolled up to the top. The horizontal one is the usual 32 line
    // heights and a little, or as far as the widest line needs to show its
    // end with the margin it has at its start.
    const int64_t textHeight = static_cast<int64_t>(kLinePitch) * static_cast<int64_t>(lines.Count());
    const int64_t usual = 32 * static_cast<int64_t>(lineHeight) + 21;
    const int64_t widestNeeds = 2 * kMargin + widestWidth - (Attr.W - kBarSize);
    SetRange(*sVert, ClampToInt(textHeight));
    SetRange(*sHorz, ClampToInt(std::max(usual, widestNeeds)));

    if (bNext != nullptr && textHeight <= static_cast<int64_t>(YTexto) + Attr.H)
        bNext->EnableWindow(true);
}
