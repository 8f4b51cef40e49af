// The save-file common dialog (GetSaveFileNameA) with a custom template.
#pragma once

#include "TOpenSaveDialog.h"

class TFileSaveDialog : public TOpenSaveDialog {
public:
    TFileSaveDialog(TWindow* parent, TData& data, int templateId);

    // IDOK with the chosen path in data.FileName, or IDCANCEL (data.Error
    // tells a failure from a cancel).
    int Execute();
};
