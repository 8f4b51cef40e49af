// A page of the wizard: a plain light grey child window of the main window,
// right of the bitmap and above the row of buttons, with a bold title and a
// short text of one or more lines. Making a page also sets up the main
// window's Back, Next and Cancel buttons for it: a button the page gives a
// caption gets that caption and is enabled; one it gives none is disabled
// and keeps the caption it had.
//
// The page creates no child windows by itself: each derived page makes its
// own in its SetupWindow. Its radio buttons, group frames and other static
// texts paint on the page's grey.
#pragma once

#include "PageTexts.h"

#include "TBrush.h"
#include "TButton.h"
#include "TFont.h"
#include "TWindow.h"

class TTE0 : public TWindow {
public:
    // Where every page lies, from the main window's width and height.
    static constexpr int kLeft = 192;
    static constexpr int kTop = 10;
    static constexpr int kRightGap = 202;
    static constexpr int kBottomGap = 84;

    // `_titulo` and `_texto` (lines split at line feeds) are kept by
    // pointer and must outlive the page; a null caption disables its button.
    TTE0(TWindow* pai, int X, int Y, int W, int H, const char* _titulo, const char* _texto, TButton* bBack,
         TButton* bNext, TButton* bCancel, const char* back, const char* next, const char* cancel);
    // The page of the wizard's table (PageTexts.h) in the pages' rectangle.
    TTE0(TWindow* pai, const PageText& page, TButton* bBack, TButton* bNext, TButton* bCancel);
    ~TTE0() override;

    // Nothing: the children of a page are made by the page itself.
    bool SetupWindow() override;
    // The whole page, whatever part of it was to be painted.
    void Paint(TDC& DC, bool Erase, TRect& Rect) override;

protected:
    LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;

    const char* titulo;
    const char* texto;

private:
    static void SetupButton(TButton* button, const char* caption);

    TBrush background;
    TFont bold;
    TFont normal;
};
