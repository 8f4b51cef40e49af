#include "WindowQuery.h"

#include "Args.h"
#include "Failure.h"
#include "Text.h"

#include <cstdio>

namespace {

constexpr long long kDefaultTimeoutMs = 10000;
constexpr DWORD kPollMs = 50;

HWND ParseHandle(const std::wstring& text, const wchar_t* what)
{
    return reinterpret_cast<HWND>(static_cast<INT_PTR>(ParseNumber(text, what)));
}

BOOL CALLBACK CollectWindow(HWND window, LPARAM list)
{
    reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
    return TRUE;
}

std::string Hex(HWND window)
{
    char buffer[32];
    snprintf(buffer, sizeof buffer, "0x%llx", static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(window)));
    return buffer;
}

// Names what is on the screen, for the message of a failed wait.
std::string VisibleWindows()
{
    std::vector<HWND> all;
    EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&all));
    std::string text;
    for (HWND window : all) {
        if (!IsWindowVisible(window))
            continue;
        text += text.empty() ? "" : ", ";
        text += "'" + ToUtf8(StoredText(window)) + "' (" + ToUtf8(ClassName(window)) + ")";
    }
    return text.empty() ? "no visible top-level window" : "visible: " + text;
}

std::string DescribeControls(HWND top)
{
    std::string text;
    for (HWND control : Descendants(top)) {
        if (!IsWindowVisible(control))
            continue;
        text += text.empty() ? "" : ", ";
        text += std::to_string(ControlId(control)) + " " + ToUtf8(ClassName(control)) + " '" +
                ToUtf8(StoredText(control)) + "'";
    }
    return text.empty() ? "no visible control" : "visible controls: " + text;
}

}  // namespace

std::wstring ClassName(HWND window)
{
    wchar_t buffer[256] = {};
    GetClassNameW(window, buffer, 256);
    return buffer;
}

std::wstring StoredText(HWND window)
{
    // For a window of another process GetWindowTextW reads the system's copy
    // of the text and sends no message.
    std::vector<wchar_t> buffer(4096);
    int length = GetWindowTextW(window, buffer.data(), static_cast<int>(buffer.size()));
    return std::wstring(buffer.data(), length > 0 ? static_cast<size_t>(length) : 0);
}

DWORD WindowProcessId(HWND window)
{
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    return pid;
}

std::wstring ProcessExe(DWORD pid)
{
    std::wstring name;
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    if (process) {
        wchar_t path[MAX_PATH * 2] = {};
        DWORD size = MAX_PATH * 2;
        if (QueryFullProcessImageNameW(process, 0, path, &size)) {
            name = path;
            size_t slash = name.find_last_of(L"\\/");
            if (slash != std::wstring::npos)
                name.erase(0, slash + 1);
        }
        CloseHandle(process);
    }
    return name;
}

int ControlId(HWND control)
{
    return GetDlgCtrlID(control) & 0xFFFF;
}

bool UsableByUser(HWND control)
{
    HWND root = GetAncestor(control, GA_ROOT);
    for (HWND window = control; window; window = window == root ? nullptr : GetParent(window))
        if (!IsWindowEnabled(window))
            return false;
    return true;
}

RECT RectIn(HWND window, HWND top)
{
    RECT rect = {};
    GetWindowRect(window, &rect);
    MapWindowPoints(HWND_DESKTOP, top, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

std::vector<HWND> Descendants(HWND top)
{
    std::vector<HWND> list;
    EnumChildWindows(top, CollectWindow, reinterpret_cast<LPARAM>(&list));
    return list;
}

Deadline::Deadline(long long milliseconds)
    : end_(GetTickCount64() + static_cast<unsigned long long>(milliseconds < 0 ? 0 : milliseconds)),
      total_(milliseconds)
{
}

bool Deadline::Passed() const
{
    return GetTickCount64() >= end_;
}

void Pause()
{
    Sleep(kPollMs);
}

long long TimeoutOf(const Args& args)
{
    long long timeout = args.Number(L"timeout", kDefaultTimeoutMs);
    if (timeout < 0)
        FailUsage("--timeout must not be negative");
    return timeout;
}

WindowFilter::WindowFilter(const Args& args)
    : hasTitle_(args.Has(L"title")), title_(args.Text(L"title")), titlePart_(args.Text(L"title-part")),
      className_(args.Text(L"class")), exe_(args.Text(L"exe")), pid_(args.Number(L"pid", -1)),
      hidden_(args.Has(L"hidden"))
{
    if (args.Has(L"hwnd"))
        hwnd_ = ParseHandle(args.Text(L"hwnd"), L"hwnd");
}

bool WindowFilter::Matches(HWND window) const
{
    if (hwnd_ && window != hwnd_)
        return false;
    if (!hidden_ && !IsWindowVisible(window))
        return false;
    if (hasTitle_ && StoredText(window) != title_)
        return false;
    if (!titlePart_.empty() && StoredText(window).find(titlePart_) == std::wstring::npos)
        return false;
    if (!className_.empty() && !SameNoCase(ClassName(window), className_))
        return false;
    if (pid_ >= 0 && WindowProcessId(window) != static_cast<DWORD>(pid_))
        return false;
    if (!exe_.empty() && !SameNoCase(ProcessExe(WindowProcessId(window)), exe_))
        return false;
    return true;
}

std::vector<HWND> WindowFilter::Find() const
{
    std::vector<HWND> all, matching;
    EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&all));
    for (HWND window : all)
        if (Matches(window))
            matching.push_back(window);
    return matching;
}

std::string WindowFilter::Describe() const
{
    std::string text;
    auto add = [&text](const std::string& part) { text += (text.empty() ? "" : " ") + part; };
    if (hwnd_)
        add("hwnd=" + Hex(hwnd_));
    if (hasTitle_)
        add("title='" + ToUtf8(title_) + "'");
    if (!titlePart_.empty())
        add("title-part='" + ToUtf8(titlePart_) + "'");
    if (!className_.empty())
        add("class='" + ToUtf8(className_) + "'");
    if (!exe_.empty())
        add("exe='" + ToUtf8(exe_) + "'");
    if (pid_ >= 0)
        add("pid=" + std::to_string(pid_));
    return text.empty() ? "any window" : text;
}

ControlFilter::ControlFilter(const Args& args)
    : hasId_(args.Has(L"id")), hasText_(args.Has(L"text")), text_(args.Text(L"text")),
      textPart_(args.Text(L"text-part")), className_(args.Text(L"ctl-class")), nth_(args.Number(L"nth", -1)),
      hidden_(args.Has(L"hidden"))
{
    if (args.Has(L"ctl-hwnd"))
        hwnd_ = ParseHandle(args.Text(L"ctl-hwnd"), L"ctl-hwnd");
    if (hasId_)
        id_ = args.Number(L"id", -1) & 0xFFFF;
}

bool ControlFilter::Empty() const
{
    return !hwnd_ && !hasId_ && !hasText_ && textPart_.empty() && className_.empty();
}

bool ControlFilter::Matches(HWND control) const
{
    if (hwnd_ && control != hwnd_)
        return false;
    if (!hidden_ && !IsWindowVisible(control))
        return false;
    if (hasId_ && ControlId(control) != id_)
        return false;
    if (hasText_ && StoredText(control) != text_)
        return false;
    if (!textPart_.empty() && StoredText(control).find(textPart_) == std::wstring::npos)
        return false;
    if (!className_.empty() && !SameNoCase(ClassName(control), className_))
        return false;
    return true;
}

std::vector<HWND> ControlFilter::Find(HWND top) const
{
    std::vector<HWND> matching;
    for (HWND control : Descendants(top))
        if (Matches(control))
            matching.push_back(control);
    return matching;
}

std::string ControlFilter::Describe() const
{
    std::string text;
    auto add = [&text](const std::string& part) { text += (text.empty() ? "" : " ") + part; };
    if (hwnd_)
        add("ctl-hwnd=" + Hex(hwnd_));
    if (hasId_)
        add("id=" + std::to_string(id_));
    if (hasText_)
        add("text='" + ToUtf8(text_) + "'");
    if (!textPart_.empty())
        add("text-part='" + ToUtf8(textPart_) + "'");
    if (!className_.empty())
        add("ctl-class='" + ToUtf8(className_) + "'");
    return text.empty() ? "any control" : text;
}

HWND WaitWindow(const Args& args, const Deadline& deadline)
{
    WindowFilter filter(args);
    long long minChildren = args.Number(L"min-children", 1);
    for (;;) {
        for (HWND window : filter.Find()) {
            if (static_cast<long long>(Descendants(window).size()) >= minChildren)
                return window;
        }
        if (deadline.Passed())
            break;
        Pause();
    }
    FailTimeout("no window (" + filter.Describe() + ") with " + std::to_string(minChildren) + "+ controls within " +
                std::to_string(deadline.Milliseconds()) + " ms; " + VisibleWindows());
}

HWND WaitControl(HWND top, const ControlFilter& filter, bool needEnabled, const Deadline& deadline)
{
    std::string problem;
    for (;;) {
        std::vector<HWND> found = filter.Find(top);
        if (!IsWindow(top))
            Fail("the window went away while waiting for a control");
        if (filter.Nth() >= 0) {
            if (static_cast<long long>(found.size()) > filter.Nth()) {
                HWND control = found[static_cast<size_t>(filter.Nth())];
                if (!needEnabled || UsableByUser(control))
                    return control;
                problem = "it or its window is disabled";
            } else {
                problem = std::to_string(found.size()) + " match";
            }
        } else if (found.size() == 1) {
            if (!needEnabled || UsableByUser(found[0]))
                return found[0];
            problem = "it or its window is disabled";
        } else if (found.empty()) {
            problem = "none matches";
        } else {
            // Identifiers repeat (65535 for every unnumbered control): a guess
            // here could press the wrong button, so refuse at once.
            Fail(std::to_string(found.size()) + " controls match (" + filter.Describe() +
                 "); narrow the choice or add --nth=K; " + DescribeControls(top));
        }
        if (deadline.Passed())
            break;
        Pause();
    }
    FailTimeout("control (" + filter.Describe() + ") not ready within " + std::to_string(deadline.Milliseconds()) +
                " ms: " + problem + "; " + DescribeControls(top));
}
