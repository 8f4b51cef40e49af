// A window that uses the framework's controls, dialogs and drawing objects,
// for the end-to-end tests of the framework itself. Whatever reaches the
// parent's hooks is written into the status line (id 199).
#include "TApplication.h"
#include "TButton.h"
#include "TDC.h"
#include "TDialog.h"
#include "TEdit.h"
#include "TFileSaveDialog.h"
#include "TFont.h"
#include "TFrameWindow.h"
#include "TGroupBox.h"
#include "TListBox.h"
#include "TRadioButton.h"
#include "TScrollBar.h"
#include "TStatic.h"

#include <memory>
#include <string>

namespace {

enum : int {
    kEdit = 101,
    kList = 102,
    kGroup = 103,
    kRadioA = 104,
    kRadioB = 105,
    kRadioC = 106,
    kBar = 107,
    kProgress = 108,
    kBrowse = 109,
    kStatus = 199,
    kBrowseTemplate = 32253,
};

// The progress template with its controls bound by id; Cancel and Esc are
// counted and leave the dialog open.
class TProgressFixture : public TDialog {
public:
    explicit TProgressFixture(TWindow* parent)
        : TDialog(parent, "IDD_PROGRESS"), line1(this, 40002, 128), line2(this, 40003, 128),
          cancelButton(this, IDCANCEL)
    {
    }

protected:
    bool SetupWindow() override
    {
        if (!TDialog::SetupWindow())
            return false;
        line1.SetText("Extracting file:");
        return true;
    }

    void OnCommand(int id, int notifyCode, HWND control) override
    {
        if (id != IDCANCEL) {
            TDialog::OnCommand(id, notifyCode, control);
            return;
        }
        ++canceled;
        line2.SetText(("canceled " + std::to_string(canceled)).c_str());
    }

private:
    TStatic line1;
    TStatic line2;
    TButton cancelButton;
    int canceled = 0;
};

class TFixtureWindow : public TWindow {
public:
    TFixtureWindow() : TWindow(nullptr)
    {
        Attr.W = 460;
        Attr.H = 240;
    }

protected:
    bool SetupWindow() override
    {
        if (!TWindow::SetupWindow())
            return false;
        list.AddString("pear");
        list.AddString("apple");
        list.AddString("fig");
        radioB.Check();
        return true;
    }

    void OnCommand(int id, int notifyCode, HWND) override
    {
        char text[128];
        switch (id) {
        case kEdit:
            if (notifyCode == EN_CHANGE) {
                edit.GetText(text, sizeof text);
                Status(std::string("edit: ") + text);
            }
            break;
        case kList:
            if (notifyCode == LBN_DBLCLK && list.GetString(text, sizeof text, list.GetSelIndex()) >= 0)
                Status(std::string("dblclk: ") + text);
            break;
        case kProgress:
            if (!progress) {
                progress = std::make_unique<TProgressFixture>(this);
                progress->Create();
            }
            break;
        case kBrowse: {
            TOpenSaveDialog::TData data(OFN_FILEMUSTEXIST | OFN_HIDEREADONLY, "All files (*.*)|texto.txt|", nullptr,
                                        "All");
            if (TFileSaveDialog(this, data, kBrowseTemplate).Execute() == IDOK)
                Status(std::string("browse: ") + data.FileName.data());
            else
                Status("browse: cancel");
            break;
        }
        }
    }

    void OnScroll(int id, int code) override
    {
        if (id == kBar)
            Status("scroll " + std::to_string(bar.GetPosition()) + " code " + std::to_string(code));
    }

    void Paint(TDC& dc, bool, TRect&) override
    {
        const TFont font("ARIAL", 0, 0, 0, 0, FW_BOLD);
        auto selected = dc.SelectObject(font);
        dc.TextOut(10, 210, "Framework fixture");
    }

private:
    void Status(const std::string& text) { status.SetText(text.c_str()); }

    TEdit edit{this, kEdit, "", 10, 10, 200, 24};
    TListBox list{this, kList, 10, 40, 200, 80};
    TGroupBox group{this, kGroup, "Modes", 220, 10, 200, 44};
    TRadioButton radioA{this, kRadioA, "Full", 225, 26, 60, 20, &group};
    TRadioButton radioB{this, kRadioB, "Typical", 290, 26, 65, 20, &group};
    TRadioButton radioC{this, kRadioC, "Minimal", 355, 26, 62, 20, &group};
    TScrollBar bar{this, kBar, 430, 10, 16, 150, false};
    TButton progressButton{this, kProgress, "Progress", 10, 130, 100, 28};
    TButton browseButton{this, kBrowse, "Browse", 120, 130, 100, 28};
    TStatic status{this, kStatus, "ready", 10, 170, 400, 20};
    std::unique_ptr<TProgressFixture> progress;
};

class TFixtureApp : public TApplication {
protected:
    void InitMainWindow() override
    {
        auto frame = std::make_unique<TFrameWindow>(nullptr, "Framework Fixture", std::make_unique<TFixtureWindow>(),
                                                    true);
        frame->EnableKBHandler();
        SetMainWindow(std::move(frame));
    }
};

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    TFixtureApp app;
    return app.Run();
}
