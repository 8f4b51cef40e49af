#include "TTE2.h"

#include "SetupLayout.h"

TTE2::TTE2(TWindow* pai, TButton* bBack, TButton* bNext, TButton* bCancel)
    // The text's empty lines lie under the view; the question stands below it.
    : TTE0(pai, pages::kAgreement, bBack, bNext, bCancel)
{
    // The view holds "Yes" back until the end of the text has been seen.
    texto = std::make_unique<TTexto>(this, 0, 50, pai->Attr.W - 212, pai->Attr.H - 159, layout::kAgreement, bNext);
}

TTE2::~TTE2()
{
    texto.reset();
}

bool TTE2::SetupWindow()
{
    if (!texto->Create())
        return false;
    Invalidate(true);
    return true;
}
