// The platform's common file dialogs with a custom dialog template from the
// program's resources and a hook (the old-style dialog, whose template finds
// its working controls by their ids).
#pragma once

#include <windows.h>

#include <string>
#include <vector>

class TWindow;

class TOpenSaveDialog {
public:
    // What the dialog starts from and what it returns.
    struct TData {
        // Filter entries as "description|pattern|..."; each bar becomes the
        // list's zero separator.
        TData(DWORD flags, const char* filter, const char* initialDir = nullptr, const char* defExt = nullptr,
              int maxPath = MAX_PATH);

        DWORD Flags;
        std::string Filter;
        int FilterIndex = 1;
        std::string InitialDir;  // empty: the current folder
        std::string DefExt;
        std::vector<char> FileName;  // the chosen path, zero-terminated
        DWORD Error = 0;             // CommDlgExtendedError after a failure
    };

    TOpenSaveDialog(const TOpenSaveDialog&) = delete;
    TOpenSaveDialog& operator=(const TOpenSaveDialog&) = delete;

protected:
    TOpenSaveDialog(TWindow* parent, TData& data, int templateId);
    ~TOpenSaveDialog() = default;

    // Fills the platform's record; `filter` receives the zero-separated list.
    void Prepare(OPENFILENAMEA& ofn, std::string& filter) const;
    static UINT_PTR CALLBACK Hook(HWND, UINT, WPARAM, LPARAM);

    TWindow* parent_;
    TData& data_;
    int templateId_;
};
