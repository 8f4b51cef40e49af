// Commands that act on one control of a top-level window. Actions are posted,
// never sent, wherever the program's handler may open a modal box: a sent
// message would not return until that box is closed. Where a result is
// needed (list indexes), the message cannot open a box and is sent with a
// time-out.
#include "Args.h"
#include "Commands.h"
#include "Describe.h"
#include "Failure.h"
#include "Text.h"
#include "WindowQuery.h"

#include <cwctype>

namespace {

struct Target {
    HWND top;
    HWND control;
};

Target Resolve(const Args& args, bool needEnabled)
{
    ControlFilter filter(args);
    if (filter.Empty())
        FailUsage("choose a control with --id, --text, --text-part, --ctl-class or --ctl-hwnd");
    Deadline deadline(TimeoutOf(args));
    HWND top = WaitWindow(args, deadline);
    return {top, WaitControl(top, filter, needEnabled, deadline)};
}

void Post(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (!PostMessageW(window, message, wParam, lParam))
        Fail("cannot post a message to the control");
}

void Require(HWND control, const wchar_t* className)
{
    if (!SameNoCase(ClassName(control), className))
        Fail("the control is a " + ToUtf8(ClassName(control)) + ", not a " + ToUtf8(className));
}

LRESULT AskOrFail(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    LRESULT result = 0;
    if (!Ask(window, message, wParam, lParam, &result))
        Fail("the program does not answer");
    return result;
}

// Tells the list box's parent what a user's click would have told it.
void NotifyParent(HWND control, WORD code)
{
    WORD id = static_cast<WORD>(GetDlgCtrlID(control));
    Post(GetParent(control), WM_COMMAND, MAKEWPARAM(id, code), reinterpret_cast<LPARAM>(control));
}

int ScrollCode(const std::wstring& name)
{
    static const struct {
        const wchar_t* name;
        int code;
    } codes[] = {{L"LINEUP", SB_LINEUP},
                 {L"LINEDOWN", SB_LINEDOWN},
                 {L"PAGEUP", SB_PAGEUP},
                 {L"PAGEDOWN", SB_PAGEDOWN},
                 {L"THUMBPOSITION", SB_THUMBPOSITION},
                 {L"THUMBTRACK", SB_THUMBTRACK},
                 {L"TOP", SB_TOP},
                 {L"BOTTOM", SB_BOTTOM},
                 {L"ENDSCROLL", SB_ENDSCROLL}};
    std::wstring upper;
    for (wchar_t c : name)
        upper += static_cast<wchar_t>(std::towupper(c));
    if (upper.compare(0, 3, L"SB_") == 0)
        upper.erase(0, 3);
    for (const auto& entry : codes)
        if (upper == entry.name)
            return entry.code;
    return static_cast<int>(ParseNumber(name, L"code"));
}

std::wstring ListEntry(HWND list, LRESULT index)
{
    LRESULT length = AskOrFail(list, LB_GETTEXTLEN, static_cast<WPARAM>(index), 0);
    if (length < 0)
        return std::wstring();
    std::vector<wchar_t> buffer(static_cast<size_t>(length) + 1);
    LRESULT copied = AskOrFail(list, LB_GETTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(buffer.data()));
    return std::wstring(buffer.data(), static_cast<size_t>(copied > 0 ? copied : 0));
}

}  // namespace

int CommandClick(const Args& args)
{
    Target target = Resolve(args, !args.Has(L"force"));
    Post(target.control, BM_CLICK, 0, 0);
    OutputLine()
        .Hex("clicked", reinterpret_cast<UINT_PTR>(target.control))
        .Number("id", ControlId(target.control))
        .Print();
    return kExitOk;
}

int CommandSetText(const Args& args)
{
    if (!args.Has(L"value"))
        FailUsage("set-text needs --value=TEXT");
    Target target = Resolve(args, false);
    std::wstring value = args.Text(L"value");
    // The system carries WM_SETTEXT's string across processes; an edit field
    // then reports the change to its parent as typing would.
    AskOrFail(target.control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(value.c_str()));
    OutputLine().Text("text", CurrentText(target.control, true)).Print();
    return kExitOk;
}

int CommandType(const Args& args)
{
    if (!args.Has(L"value"))
        FailUsage("type needs --value=TEXT");
    Target target = Resolve(args, true);
    std::wstring value = args.Text(L"value");
    if (!args.Has(L"append")) {
        Post(target.control, EM_SETSEL, 0, -1);
        if (value.empty())
            Post(target.control, WM_CLEAR, 0, 0);
    }
    for (wchar_t c : value)
        Post(target.control, WM_CHAR, c, 1);
    OutputLine().Number("typed", static_cast<long long>(value.size())).Print();
    return kExitOk;
}

int CommandSelect(const Args& args)
{
    if (args.Has(L"item") == args.Has(L"string"))
        FailUsage("select needs one of --item=INDEX or --string=TEXT");
    Target target = Resolve(args, true);
    Require(target.control, L"ListBox");
    LRESULT index = args.Number(L"item", -1);
    if (args.Has(L"string")) {
        std::wstring wanted = args.Text(L"string");
        index = AskOrFail(target.control, LB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                          reinterpret_cast<LPARAM>(wanted.c_str()));
        if (index == LB_ERR)
            Fail("the list has no entry '" + ToUtf8(wanted) + "'");
    }
    if (index < 0 || AskOrFail(target.control, LB_SETCURSEL, static_cast<WPARAM>(index), 0) == LB_ERR)
        Fail("the list has no entry " + std::to_string(index));
    NotifyParent(target.control, LBN_SELCHANGE);
    if (args.Has(L"double"))
        NotifyParent(target.control, LBN_DBLCLK);
    OutputLine().Number("index", index).Text("text", ListEntry(target.control, index)).Print();
    return kExitOk;
}

int CommandItems(const Args& args)
{
    Target target = Resolve(args, false);
    Require(target.control, L"ListBox");
    LRESULT count = AskOrFail(target.control, LB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        LRESULT selected = AskOrFail(target.control, LB_GETSEL, static_cast<WPARAM>(i), 0);
        OutputLine()
            .Number("index", i)
            .Text("text", ListEntry(target.control, i))
            .Flag("selected", selected > 0)
            .Print();
    }
    return kExitOk;
}

int CommandScroll(const Args& args)
{
    if (!args.Has(L"code"))
        FailUsage("scroll needs --code=LINEDOWN|LINEUP|PAGEDOWN|PAGEUP|THUMBTRACK|THUMBPOSITION|TOP|BOTTOM|ENDSCROLL");
    Target target = Resolve(args, false);
    int code = ScrollCode(args.Text(L"code"));
    long long pos = args.Number(L"pos", 0);
    long long repeat = args.Number(L"repeat", 1);
    if (repeat < 1)
        FailUsage("--repeat must be at least 1");
    WPARAM wParam = MAKEWPARAM(code, static_cast<WORD>(pos));
    HWND receiver = target.control;
    UINT message = args.Has(L"horizontal") ? WM_HSCROLL : WM_VSCROLL;
    LPARAM lParam = 0;
    if (SameNoCase(ClassName(target.control), L"ScrollBar")) {
        // A scroll-bar control reports to its parent, naming itself.
        receiver = GetParent(target.control);
        message = (GetWindowLongW(target.control, GWL_STYLE) & SBS_VERT) ? WM_VSCROLL : WM_HSCROLL;
        lParam = reinterpret_cast<LPARAM>(target.control);
    }
    for (long long i = 0; i < repeat; ++i)
        Post(receiver, message, wParam, lParam);
    OutputLine().Number("posted", repeat).Word("message", message == WM_VSCROLL ? "WM_VSCROLL" : "WM_HSCROLL").Print();
    return kExitOk;
}
