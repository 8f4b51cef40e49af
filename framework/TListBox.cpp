#include "TListBox.h"

#include <cstring>
#include <vector>

TListBox::TListBox(TWindow* parent, int id, int x, int y, int w, int h) : TControl(parent, id, nullptr, x, y, w, h)
{
    Attr.Style |= WS_TABSTOP | WS_BORDER | WS_VSCROLL | LBS_SORT | LBS_NOTIFY | LBS_HASSTRINGS;
}

int TListBox::AddString(const char* text)
{
    return static_cast<int>(Send(LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text)));
}

int TListBox::GetCount() const
{
    return static_cast<int>(Send(LB_GETCOUNT));
}

int TListBox::GetSelIndex() const
{
    if (GetHandle() == nullptr)
        return LB_ERR;
    return static_cast<int>(Send(LB_GETCURSEL));
}

int TListBox::GetString(char* buffer, int size, int index) const
{
    if (size <= 0 || GetHandle() == nullptr)
        return LB_ERR;
    buffer[0] = '\0';
    const LRESULT length = Send(LB_GETTEXTLEN, static_cast<WPARAM>(index));
    if (length < 0)
        return LB_ERR;
    // The platform copies the whole entry: read it into room of its size.
    std::vector<char> entry(static_cast<size_t>(length) + 1, '\0');
    if (Send(LB_GETTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(entry.data())) < 0)
        return LB_ERR;
    const size_t n = std::min(std::strlen(entry.data()), static_cast<size_t>(size - 1));
    std::memcpy(buffer, entry.data(), n);
    buffer[n] = '\0';
    return static_cast<int>(n);
}
