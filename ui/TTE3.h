// The installation wizard's options page: the destination folder (typed, or
// chosen with "Browse"), one of the installation modes the package offers,
// and the program group's name (typed, or picked from the list of the
// groups that exist). The page works in place on the page manager's
// buffers: the folder and the name are copied at every change of their
// fields, the mode letters when the page is left (CanClose). Next is
// enabled only while both fields hold something; nothing else is checked.
//
// Listing the groups can fail (no program-group service answers, or not in
// time): the page then shows an empty list with a note beside it saying
// so, keeps what the listing met in GroupListStatus, and goes on; the
// group is made all the same (TProgramGroups).
#pragma once

#include "TTE0.h"

#include "TButton.h"
#include "TEdit.h"
#include "TGroupBox.h"
#include "TListBox.h"
#include "TRadioButton.h"
#include "TStatic.h"

#include "Limits.h"
#include "Status.h"

#include <memory>

class TTE3 : public TTE0 {
public:
    static constexpr int kListId = 50001;
    static constexpr int kDirDestId = 50002;
    static constexpr int kBrowseId = 50003;
    static constexpr int kNomeGrupoId = 50004;
    // The save-file dialog's template that shows folders and drives only.
    static constexpr int kBrowseTemplate = 32253;
    // A name taken from the list is cut to 127 characters.
    static constexpr int kListNameSize = 128;
    // What the group list is read into.
    static constexpr int kGroupListSize = 2048;
    // The note beside the list when the groups cannot be listed.
    static constexpr int kListNoteId = 50005;
    static constexpr char kListNote[] =
        "The shell did not list the existing program groups. Type the group's name: it is made all the same.";

    TTE3(TWindow* pai, TButton* bBack, TButton* _bNext, TButton* bCancel, char* _dirDest, char* _modosInst,
         char* _nomeGrupo);
    ~TTE3() override;

    // Makes the controls, fills them from the buffers, lists the groups.
    bool SetupWindow() override;
    // The destination field changed: into dirDest, then Next.
    void EnChange1();
    // The group name field changed: into nomeGrupo, then Next.
    void EnChange2();
    // A folder chosen in the save-file dialog goes into the destination field.
    void CmBrowse();
    // The double-clicked group's name goes into the group name field.
    void DblClkLista();
    // Makes the list's window and fills it with the existing groups; false
    // when its window or the note beside it cannot be made.
    bool IniListaGrupos();
    // The main window's Next: enabled while both fields hold something.
    void Next();
    // Writes the chosen mode's letter ('X' for the others); always true.
    bool CanClose() override;

    // What listing the groups met: success, or the failure the note stands for.
    const Status& GroupListStatus() const { return groupListStatus; }

protected:
    void OnCommand(int id, int notifyCode, HWND control) override;

private:
    // Sets up the mode buttons from the offered letters.
    void SetupModes();

    char* dirDest;
    char* modosInst;
    char* nomeGrupo;
    std::unique_ptr<TEdit> eDirDest;
    std::unique_ptr<TEdit> eNomeGrupo;
    TButton* bNext;
    std::unique_ptr<TButton> bBrowse;
    std::unique_ptr<TGroupBox> gbModos;
    std::unique_ptr<TRadioButton> rbFul;
    std::unique_ptr<TRadioButton> rbTyp;
    std::unique_ptr<TRadioButton> rbMin;
    std::unique_ptr<TListBox> lbGrupos;
    std::unique_ptr<TStatic> stListNote;  // made only when the listing fails
    int OkDest = 0;
    int OkGrupo = 0;
    Status groupListStatus;
};
