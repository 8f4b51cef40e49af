#include "TTE1.h"

#include "SetupLayout.h"

TTE1::TTE1(TWindow* pai, TButton* bBack, TButton* bNext, TButton* bCancel)
    : TTE0(pai, pages::kPresentation, bBack, bNext, bCancel)
{
    // Ten pixels short of the page's right and bottom edges.
    texto = std::make_unique<TTexto>(this, 0, 50, pai->Attr.W - 212, pai->Attr.H - 144, layout::kPresentation, nullptr);
}

TTE1::~TTE1()
{
    texto.reset();
}

bool TTE1::SetupWindow()
{
    if (!texto->Create())
        return false;
    Invalidate(true);
    return true;
}
