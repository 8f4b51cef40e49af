#include "Describe.h"

#include "Text.h"
#include "WindowQuery.h"

#include <vector>

namespace {

constexpr UINT kAskTimeoutMs = 2000;

unsigned long long Handle(HWND window)
{
    return static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(window));
}

bool IsCheckable(HWND control)
{
    LONG type = GetWindowLongW(control, GWL_STYLE) & BS_TYPEMASK;
    return type == BS_CHECKBOX || type == BS_AUTOCHECKBOX || type == BS_RADIOBUTTON || type == BS_3STATE ||
           type == BS_AUTO3STATE || type == BS_AUTORADIOBUTTON;
}

}  // namespace

bool Ask(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result)
{
    DWORD_PTR answer = 0;
    if (!SendMessageTimeoutW(window, message, wParam, lParam, SMTO_ABORTIFHUNG, kAskTimeoutMs, &answer))
        return false;
    *result = static_cast<LRESULT>(answer);
    return true;
}

bool Responsive(HWND window)
{
    LRESULT ignored = 0;
    return Ask(window, WM_NULL, 0, 0, &ignored);
}

std::wstring CurrentText(HWND control, bool responsive)
{
    if (responsive && SameNoCase(ClassName(control), L"Edit")) {
        LRESULT length = 0;
        if (Ask(control, WM_GETTEXTLENGTH, 0, 0, &length) && length >= 0) {
            std::vector<wchar_t> buffer(static_cast<size_t>(length) + 1);
            LRESULT copied = 0;
            if (Ask(control, WM_GETTEXT, buffer.size(), reinterpret_cast<LPARAM>(buffer.data()), &copied))
                return std::wstring(buffer.data(), static_cast<size_t>(copied > 0 ? copied : 0));
        }
    }
    return StoredText(control);
}

OutputLine WindowLine(HWND top)
{
    RECT rect = {}, client = {};
    GetWindowRect(top, &rect);
    GetClientRect(top, &client);
    POINT origin = {0, 0};
    ClientToScreen(top, &origin);
    DWORD pid = WindowProcessId(top);
    OutputLine line;
    line.Hex("hwnd", Handle(top))
        .Number("pid", pid)
        .Text("exe", ProcessExe(pid))
        .Text("class", ClassName(top))
        .Text("title", StoredText(top))
        .Flag("visible", IsWindowVisible(top) != FALSE)
        .Flag("enabled", IsWindowEnabled(top) != FALSE)
        .Number("x", rect.left)
        .Number("y", rect.top)
        .Number("w", rect.right - rect.left)
        .Number("h", rect.bottom - rect.top)
        .Number("cx", origin.x)
        .Number("cy", origin.y)
        .Number("cw", client.right)
        .Number("ch", client.bottom)
        .Hex("owner", Handle(GetWindow(top, GW_OWNER)))
        .Hex("style", static_cast<unsigned long>(GetWindowLongW(top, GWL_STYLE)));
    return line;
}

OutputLine ControlLine(HWND control, HWND top, bool responsive)
{
    RECT rect = RectIn(control, top);
    std::wstring className = ClassName(control);
    LONG style = GetWindowLongW(control, GWL_STYLE);
    LRESULT checked = 0;
    if (responsive && SameNoCase(className, L"Button") && IsCheckable(control) &&
        !Ask(control, BM_GETCHECK, 0, 0, &checked))
        checked = 0;
    OutputLine line;
    line.Hex("hwnd", Handle(control))
        .Hex("parent", Handle(GetParent(control)))
        .Number("id", ControlId(control))
        .Text("class", className)
        .Text("text", CurrentText(control, responsive))
        .Number("x", rect.left)
        .Number("y", rect.top)
        .Number("w", rect.right - rect.left)
        .Number("h", rect.bottom - rect.top)
        .Flag("enabled", IsWindowEnabled(control) != FALSE)
        .Flag("visible", IsWindowVisible(control) != FALSE)
        .Number("checked", checked)
        .Hex("style", static_cast<unsigned long>(style));
    if (!responsive)
        return line;
    if (SameNoCase(className, L"ListBox")) {
        LRESULT count = 0, selected = 0;
        if (Ask(control, LB_GETCOUNT, 0, 0, &count) && Ask(control, LB_GETCURSEL, 0, 0, &selected))
            line.Number("count", count).Number("sel", selected);
    } else if (SameNoCase(className, L"ScrollBar")) {
        SCROLLINFO info = {};
        info.cbSize = sizeof info;
        info.fMask = SIF_ALL;
        LRESULT ok = 0;
        if (Ask(control, SBM_GETSCROLLINFO, 0, reinterpret_cast<LPARAM>(&info), &ok) && ok)
            line.Number("pos", info.nPos).Number("min", info.nMin).Number("max", info.nMax).Number("page", info.nPage);
    }
    return line;
}
