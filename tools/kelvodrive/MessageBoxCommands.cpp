// Message boxes: top-level dialogs whose text is the static control 0xFFFF
// and whose buttons carry the standard answer identifiers. --title and
// --title-part choose by caption, --exe and --pid by owning process.
#include "Args.h"
#include "Commands.h"
#include "Describe.h"
#include "Failure.h"
#include "Text.h"
#include "WindowQuery.h"

#include <cwctype>

namespace {

constexpr int kTextId = 0xFFFF;

const struct {
    const char* name;
    int id;
} kAnswers[] = {{"OK", IDOK},       {"CANCEL", IDCANCEL},     {"ABORT", IDABORT},
                {"RETRY", IDRETRY}, {"IGNORE", IDIGNORE},     {"YES", IDYES},
                {"NO", IDNO},       {"TRYAGAIN", IDTRYAGAIN}, {"CONTINUE", IDCONTINUE}};

std::string AnswerName(int id)
{
    for (const auto& answer : kAnswers)
        if (answer.id == id)
            return answer.name;
    return std::to_string(id);
}

int AnswerId(const std::wstring& name)
{
    std::string upper;
    for (wchar_t c : name)
        upper += static_cast<char>(std::towupper(c));
    if (upper.compare(0, 2, "ID") == 0)
        upper.erase(0, 2);
    for (const auto& answer : kAnswers)
        if (upper == answer.name)
            return answer.id;
    return static_cast<int>(ParseNumber(name, L"button"));
}

bool IsAnswerButton(HWND control)
{
    int id = ControlId(control);
    return SameNoCase(ClassName(control), L"Button") && id >= IDOK && id <= IDCONTINUE;
}

bool IsMessageBox(HWND window)
{
    if (ClassName(window) != L"#32770")
        return false;
    bool hasText = false, hasButton = false;
    for (HWND control : Descendants(window)) {
        std::wstring className = ClassName(control);
        if (SameNoCase(className, L"Static")) {
            hasText = hasText || ControlId(control) == kTextId;
        } else if (IsAnswerButton(control)) {
            hasButton = true;
        } else {
            return false;  // an edit, list or anything else: a dialog, not a box
        }
    }
    return hasText && hasButton;
}

HWND WaitMessageBox(const Args& args, const Deadline& deadline)
{
    WindowFilter filter(args);
    for (;;) {
        for (HWND window : filter.Find())
            if (IsMessageBox(window))
                return window;
        if (deadline.Passed())
            break;
        Pause();
    }
    FailTimeout("no message box (" + filter.Describe() + ") within " + std::to_string(deadline.Milliseconds()) + " ms");
}

}  // namespace

int CommandMsgBox(const Args& args)
{
    HWND box = WaitMessageBox(args, Deadline(TimeoutOf(args)));
    std::wstring text;
    std::string buttons;
    for (HWND control : Descendants(box)) {
        if (ControlId(control) == kTextId && SameNoCase(ClassName(control), L"Static"))
            text = StoredText(control);
        if (IsAnswerButton(control) && IsWindowVisible(control))
            buttons += (buttons.empty() ? "" : ",") + AnswerName(ControlId(control));
    }
    DWORD pid = WindowProcessId(box);
    OutputLine()
        .Hex("hwnd", reinterpret_cast<UINT_PTR>(box))
        .Number("pid", pid)
        .Text("exe", ProcessExe(pid))
        .Text("caption", StoredText(box))
        .Text("text", text)
        .Word("buttons", buttons)
        .Hex("owner", reinterpret_cast<UINT_PTR>(GetWindow(box, GW_OWNER)))
        .Print();
    return kExitOk;
}

int CommandMsgBoxPress(const Args& args)
{
    if (!args.Has(L"button"))
        FailUsage("msgbox-press needs --button=OK|CANCEL|YES|NO|... or an id");
    int id = AnswerId(args.Text(L"button"));
    Deadline deadline(TimeoutOf(args));
    HWND box = WaitMessageBox(args, deadline);
    HWND button = nullptr;
    for (HWND control : Descendants(box))
        if (IsAnswerButton(control) && ControlId(control) == id && IsWindowVisible(control))
            button = control;
    if (!button)
        Fail("the message box '" + ToUtf8(StoredText(box)) + "' has no button " + AnswerName(id));
    // The dialog ends when it gets the button's command; posting it does not
    // depend on which window is active.
    if (!PostMessageW(box, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(button)))
        Fail("cannot post to the message box");
    while (IsWindow(box) && IsWindowVisible(box)) {
        if (deadline.Passed())
            FailTimeout("the message box did not close after " + AnswerName(id));
        Pause();
    }
    OutputLine().Word("pressed", AnswerName(id)).Print();
    return kExitOk;
}
