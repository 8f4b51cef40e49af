#include "TTE3.h"

#include "TFileSaveDialog.h"

#include "GroupCommand.h"
#include "TProgramGroups.h"

#include <string>
#include <vector>

namespace {

constexpr int kNoId = -1;

}  // namespace

TTE3::TTE3(TWindow* pai, TButton* bBack, TButton* _bNext, TButton* bCancel, char* _dirDest, char* _modosInst,
           char* _nomeGrupo)
    // Each label of the text has its control under it.
    : TTE0(pai, pages::kOptions, bBack, _bNext, bCancel), dirDest(_dirDest), modosInst(_modosInst),
      nomeGrupo(_nomeGrupo), bNext(_bNext)
{
    if (bNext != nullptr)
        bNext->EnableWindow(true);
    eDirDest = std::make_unique<TEdit>(this, kDirDestId, "", 10, 50, 250, 24);
    bBrowse = std::make_unique<TButton>(this, kBrowseId, "Browse", 270, 40, 96, 32);
    eNomeGrupo = std::make_unique<TEdit>(this, kNomeGrupoId, "", 10, 147, 250, 24);
    gbModos = std::make_unique<TGroupBox>(this, kNoId, "", 26, 90, 218, 36);
    rbFul = std::make_unique<TRadioButton>(this, kNoId, "Full", 30, 102, 70, 20, gbModos.get());
    rbTyp = std::make_unique<TRadioButton>(this, kNoId, "Typical", 100, 102, 70, 20, gbModos.get());
    rbMin = std::make_unique<TRadioButton>(this, kNoId, "Minimal", 170, 102, 70, 20, gbModos.get());
    lbGrupos = std::make_unique<TListBox>(this, kListId, 10, 197, 250, 125);
    // The whole 125 pixels, running under the page's edge, not rounded down
    // to whole entries.
    lbGrupos->Attr.Style |= LBS_NOINTEGRALHEIGHT;
}

TTE3::~TTE3()
{
    eDirDest.reset();
    bBrowse.reset();
    eNomeGrupo.reset();
    gbModos.reset();
    rbFul.reset();
    rbTyp.reset();
    rbMin.reset();
    lbGrupos.reset();
    stListNote.reset();
}

bool TTE3::SetupWindow()
{
    // The frame before its buttons: it starts their group.
    if (!eDirDest->Create() || !bBrowse->Create() || !eNomeGrupo->Create() || !gbModos->Create() || !rbFul->Create() ||
        !rbTyp->Create() || !rbMin->Create())
        return false;

    // Setting a field's text reports a change, which copies it back.
    if (dirDest[0] != '\0') {
        eDirDest->SetText(dirDest);
        OkDest = 1;
    }
    if (nomeGrupo[0] != '\0') {
        eNomeGrupo->SetText(nomeGrupo);
        OkGrupo = 1;
    }
    SetupModes();
    if (!IniListaGrupos())
        return false;
    Next();
    Invalidate(true);
    return true;
}

void TTE3::SetupModes()
{
    // The smallest offered mode is checked. A button is disabled only when
    // its mode and every smaller one are missing.
    if (modosInst[2] == 'M') {
        rbMin->Check();
        return;
    }
    rbMin->EnableWindow(false);
    if (modosInst[1] == 'T') {
        rbTyp->Check();
        return;
    }
    rbTyp->EnableWindow(false);
    if (modosInst[0] == 'F') {
        rbFul->Check();
        return;
    }
    rbFul->EnableWindow(false);
}

void TTE3::OnCommand(int id, int notifyCode, HWND control)
{
    switch (id) {
    case kDirDestId:
        if (notifyCode == EN_CHANGE)
            EnChange1();
        return;
    case kNomeGrupoId:
        if (notifyCode == EN_CHANGE)
            EnChange2();
        return;
    case kBrowseId:
        if (notifyCode == BN_CLICKED)
            CmBrowse();
        return;
    case kListId:
        if (notifyCode == LBN_DBLCLK)
            DblClkLista();
        return;
    }
    TTE0::OnCommand(id, notifyCode, control);
}

void TTE3::EnChange1()
{
    // Cut to what the page manager's path buffer holds.
    eDirDest->GetText(dirDest, static_cast<int>(kPathSize));
    OkDest = dirDest[0] != '\0' ? 1 : 0;
    Next();
}

void TTE3::EnChange2()
{
    eNomeGrupo->GetText(nomeGrupo, static_cast<int>(kPathSize));
    OkGrupo = nomeGrupo[0] != '\0' ? 1 : 0;
    Next();
}

void TTE3::Next()
{
    if (bNext != nullptr)
        bNext->EnableWindow(OkDest == 1 && OkGrupo == 1);
}

bool TTE3::IniListaGrupos()
{
    if (!lbGrupos->Create())
        return false;
    std::vector<char> lista(kGroupListSize, '\0');
    {
        // The client lives for this listing only; it never keeps the page
        // waiting on the service for long.
        TProgramGroups grupo;
        groupListStatus = grupo.ListGroups(lista.data(), kGroupListSize);
    }
    if (!groupListStatus.Ok()) {
        // Beside the empty list, under the Browse button's column.
        stListNote = std::make_unique<TStatic>(this, kListNoteId, kListNote, 270, 197, 120, 125);
        return stListNote->Create();
    }
    for (const std::string& name : groupcommand::SplitGroups(lista.data(), lista.size()))
        lbGrupos->AddString(name.c_str());
    return true;
}

void TTE3::DblClkLista()
{
    const int selected = lbGrupos->GetSelIndex();
    if (selected < 0)
        return;
    char str[kListNameSize];
    if (lbGrupos->GetString(str, sizeof str, selected) < 0)
        return;
    eNomeGrupo->SetText(str);
}

void TTE3::CmBrowse()
{
    // One entry whose only pattern is a single name: the dialog shows
    // folders and drives, and OK hands back a path inside the chosen folder,
    // under its long names (the old-style dialog gives 8.3 names without
    // OFN_LONGNAMES).
    TOpenSaveDialog::TData fileData(OFN_FILEMUSTEXIST | OFN_HIDEREADONLY | OFN_LONGNAMES, "All files (*.*)|texto.txt|",
                                    nullptr, "All");
    if (TFileSaveDialog(this, fileData, kBrowseTemplate).Execute() != IDOK)
        return;
    std::string path(fileData.FileName.data());
    const size_t slash = path.rfind('\\');
    if (slash == std::string::npos)
        return;
    // The folder keeps its trailing backslash.
    path.resize(slash + 1);
    eDirDest->SetText(path.c_str());
}

bool TTE3::CanClose()
{
    modosInst[0] = rbFul->GetCheck() == BST_CHECKED ? 'F' : 'X';
    modosInst[1] = rbTyp->GetCheck() == BST_CHECKED ? 'T' : 'X';
    modosInst[2] = rbMin->GetCheck() == BST_CHECKED ? 'M' : 'X';
    return true;
}
