#include "TFileSaveDialog.h"

#include <commdlg.h>

TFileSaveDialog::TFileSaveDialog(TWindow* parent, TData& data, int templateId)
    : TOpenSaveDialog(parent, data, templateId)
{
}

int TFileSaveDialog::Execute()
{
    OPENFILENAMEA ofn;
    std::string filter;
    Prepare(ofn, filter);
    const BOOL ok = GetSaveFileNameA(&ofn);
    data_.Error = ok ? 0 : CommDlgExtendedError();
    data_.FilterIndex = static_cast<int>(ofn.nFilterIndex);
    return ok ? IDOK : IDCANCEL;
}
