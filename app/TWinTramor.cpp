#include "TWinTramor.h"

#include "Platform.h"
#include "Report.h"

namespace {

// Asks a page whether it may close; unless it refuses and that counts,
// destroys its window and the object.
template <class Page>
bool Close(std::unique_ptr<Page>& page, bool verify)
{
    if (!page)
        return true;
    if (!page->CanClose() && verify)
        return false;
    page->Destroy(0);
    page.reset();
    return true;
}

// A page made as every page is: its object first, then its window. A page
// that the system cannot make (out of window resources) ends the run, as
// the wizard cannot go on without it.
template <class Page>
void Show(std::unique_ptr<Page>& slot, std::unique_ptr<Page> page)
{
    slot = std::move(page);
    if (!slot->Create())
        FatalMessage("Cannot create window", "Error!");
}

}  // namespace

TWinTramor::TWinTramor(TWindow* _pai, TButton* _back, TButton* _next, TButton* _cancel)
    : pai(_pai), back(_back), next(_next), cancel(_cancel), workFolder(platform::CurrentFolder())
{
}

TWinTramor::~TWinTramor()
{
    te1.reset();
    te2.reset();
    te3.reset();
    te0.reset();
    dProg.reset();
}

int TWinTramor::FecharJanelas(int Verificar)
{
    return TryFecharJanelas(Verificar != 0) ? 1 : 0;
}

Status TWinTramor::TryFecharJanelas(bool verify)
{
    // Every page is asked even when its answer does not count: the options
    // page writes the chosen mode then.
    if (!Close(te1, verify) || !Close(te2, verify) || !Close(te3, verify) || !Close(te0, verify) ||
        !Close(dProg, verify))
        return Status::Failure(Fault::kRefused, "A page refused to close.", "Error!");
    return Status();
}

void TWinTramor::TE1()
{
    workFolder.Enter();
    Show(te1, std::make_unique<TTE1>(pai, back, next, cancel));
}

void TWinTramor::TE2()
{
    workFolder.Enter();
    Show(te2, std::make_unique<TTE2>(pai, back, next, cancel));
}

void TWinTramor::TE3(char* dirDest, char* modosInst, char* nomeGrupo)
{
    Show(te3, std::make_unique<TTE3>(pai, back, next, cancel, dirDest, modosInst, nomeGrupo));
}

void TWinTramor::PlainPage(const PageText& page)
{
    Show(te0, std::make_unique<TTE0>(pai, page, back, next, cancel));
}

void TWinTramor::TE4()
{
    PlainPage(pages::kStart);
}

void TWinTramor::_TE1()  // NOLINT(bugprone-reserved-identifier)
{
    PlainPage(pages::kConfirmation);
}

void TWinTramor::TEP(uint64_t VMax)
{
    Show(dProg, std::make_unique<TDProgresso>(pai, VMax));
}
