#include "TScrollBar.h"

#include <algorithm>

TScrollBar::TScrollBar(TWindow* parent, int id, int x, int y, int w, int h, bool horizontal)
    : TControl(parent, id, nullptr, x, y, w, h)
{
    Attr.Style |= horizontal ? SBS_HORZ : SBS_VERT;
}

bool TScrollBar::SetupWindow()
{
    if (!TControl::SetupWindow())
        return false;
    SetScrollRange(GetHandle(), SB_CTL, min_, max_, FALSE);
    SetScrollPos(GetHandle(), SB_CTL, position_, TRUE);
    return true;
}

void TScrollBar::SetRange(int min, int max)
{
    min_ = min;
    max_ = max;
    if (GetHandle() != nullptr)
        SetScrollRange(GetHandle(), SB_CTL, min_, max_, TRUE);
    SetPosition(position_);
}

void TScrollBar::GetRange(int& min, int& max) const
{
    min = min_;
    max = max_;
}

void TScrollBar::SetPosition(int position)
{
    // An empty range (max below min) pins the position to its minimum.
    position_ = std::max(min_, std::min(position, max_));
    if (GetHandle() != nullptr)
        SetScrollPos(GetHandle(), SB_CTL, position_, TRUE);
}

void TScrollBar::ReflectScroll(int code, int thumb)
{
    switch (code) {
    case SB_LINEUP:
        SetPosition(position_ - LineMagnitude);
        break;
    case SB_LINEDOWN:
        SetPosition(position_ + LineMagnitude);
        break;
    case SB_PAGEUP:
        SetPosition(position_ - PageMagnitude);
        break;
    case SB_PAGEDOWN:
        SetPosition(position_ + PageMagnitude);
        break;
    case SB_THUMBTRACK:
    case SB_THUMBPOSITION: {
        // The message carries 16 bits of the position; while the thumb is
        // dragged the bar knows all 32, which agree with them.
        SCROLLINFO info = {};
        info.cbSize = sizeof info;
        info.fMask = SIF_TRACKPOS;
        if (GetScrollInfo(GetHandle(), SB_CTL, &info) && (info.nTrackPos & 0xFFFF) == thumb)
            thumb = info.nTrackPos;
        SetPosition(thumb);
        break;
    }
    case SB_TOP:
        SetPosition(min_);
        break;
    case SB_BOTTOM:
        SetPosition(max_);
        break;
    default:
        break;
    }
}
