// The installation wizard's second page: the agreement text "licen.txt" of
// the current folder in a text view, and the question under it. The main
// window's buttons read "< Back", "Yes" and "No"; "Yes" stays disabled
// until the end of the text has been in view.
#pragma once

#include "TTE0.h"
#include "TTexto.h"

#include <memory>

class TTE2 : public TTE0 {
public:
    TTE2(TWindow* pai, TButton* bBack, TButton* bNext, TButton* bCancel);
    ~TTE2() override;

    // Makes the view's window and repaints the whole page.
    bool SetupWindow() override;

private:
    // The view; the page text drawn by TTE0 is the base's own `texto`.
    std::unique_ptr<TTexto> texto;
};
