// The installation wizard's first page: the presentation text "pres.txt"
// of the current folder in a text view under the title. Next and Cancel
// are offered, Back is disabled; Next needs no reading.
#pragma once

#include "TTE0.h"
#include "TTexto.h"

#include <memory>

class TTE1 : public TTE0 {
public:
    TTE1(TWindow* pai, TButton* bBack, TButton* bNext, TButton* bCancel);
    ~TTE1() override;

    // Makes the view's window and repaints the whole page.
    bool SetupWindow() override;

private:
    // The view; the page text drawn by TTE0 is the base's own `texto`.
    std::unique_ptr<TTexto> texto;
};
