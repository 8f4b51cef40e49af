// A list box with border and vertical scroll bar that keeps its entries
// sorted and reports double-clicks (LBN_DBLCLK) to the parent's OnCommand.
#pragma once

#include "TControl.h"

class TListBox : public TControl {
public:
    TListBox(TWindow* parent, int id, int x, int y, int w, int h);

    // The entry's index, or a negative value when it was not added.
    int AddString(const char* text);
    int GetCount() const;
    // The selected entry's index, or a negative value when none is selected.
    int GetSelIndex() const;
    // Entry `index` into buffer: at most size - 1 characters, cut if longer;
    // a negative value when there is no such entry.
    int GetString(char* buffer, int size, int index) const;

protected:
    const char* ClassName() const override { return "LISTBOX"; }
};
