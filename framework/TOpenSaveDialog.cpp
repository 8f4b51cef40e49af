#include "TOpenSaveDialog.h"

#include "TWindow.h"

TOpenSaveDialog::TData::TData(DWORD flags, const char* filter, const char* initialDir, const char* defExt, int maxPath)
    : Flags(flags), Filter(filter ? filter : ""), InitialDir(initialDir ? initialDir : ""),
      DefExt(defExt ? defExt : ""), FileName(static_cast<size_t>(maxPath > 0 ? maxPath : MAX_PATH), '\0')
{
}

TOpenSaveDialog::TOpenSaveDialog(TWindow* parent, TData& data, int templateId)
    : parent_(parent), data_(data), templateId_(templateId)
{
}

void TOpenSaveDialog::Prepare(OPENFILENAMEA& ofn, std::string& filter) const
{
    filter = data_.Filter;
    for (char& c : filter)
        if (c == '|')
            c = '\0';
    filter.push_back('\0');  // the list ends with two zeros
    data_.FileName.back() = '\0';

    ofn = OPENFILENAMEA();
    // The size of the record the old-style templates were made for.
    ofn.lStructSize = OPENFILENAME_SIZE_VERSION_400A;
    ofn.hwndOwner = parent_ != nullptr ? parent_->GetHandle() : nullptr;
    ofn.hInstance = GetModuleHandleA(nullptr);
    ofn.lpstrFilter = filter.c_str();
    ofn.nFilterIndex = static_cast<DWORD>(data_.FilterIndex);
    ofn.lpstrFile = data_.FileName.data();
    ofn.nMaxFile = static_cast<DWORD>(data_.FileName.size());
    ofn.lpstrInitialDir = data_.InitialDir.empty() ? nullptr : data_.InitialDir.c_str();
    ofn.lpstrDefExt = data_.DefExt.empty() ? nullptr : data_.DefExt.c_str();
    ofn.Flags = data_.Flags | OFN_ENABLEHOOK | OFN_ENABLETEMPLATE;
    ofn.lpfnHook = &Hook;
    ofn.lpTemplateName = MAKEINTRESOURCEA(templateId_);
}

UINT_PTR CALLBACK TOpenSaveDialog::Hook(HWND, UINT msg, WPARAM, LPARAM)
{
    // The dialog's own processing does everything; WM_INITDIALOG answers
    // TRUE so that the platform sets the focus.
    return msg == WM_INITDIALOG ? TRUE : FALSE;
}
