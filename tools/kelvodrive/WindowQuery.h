// Finding top-level windows and their controls in other processes of the
// prefix. Everything here reads window state without sending messages, so it
// never blocks on a program that is busy or shows a modal box.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

class Args;

std::wstring ClassName(HWND window);
// The text the system keeps for the window (its caption, a button's label).
std::wstring StoredText(HWND window);
DWORD WindowProcessId(HWND window);
// Base name of the process's program file, or "" when it cannot be read.
std::wstring ProcessExe(DWORD pid);
// Control identifiers are 16 bits wide wherever they travel (WM_COMMAND), so
// -1 from CreateWindow and 0xFFFF from a dialog template are the same 65535.
int ControlId(HWND control);
// Enabled, and so is every window up to its top-level window (which a modal
// box disables): what a user could click.
bool UsableByUser(HWND control);
// The window's rectangle in the client coordinates of `top`.
RECT RectIn(HWND window, HWND top);
std::vector<HWND> Descendants(HWND top);

// Milliseconds left of a --timeout; polling helpers share one per command.
class Deadline {
public:
    explicit Deadline(long long milliseconds);
    bool Passed() const;
    long long Milliseconds() const { return total_; }

private:
    unsigned long long end_;
    long long total_;
};

// Sleeps one polling interval.
void Pause();

// Top-level windows chosen by --hwnd, --title (exact), --title-part,
// --class, --exe (program file base name), --pid. Hidden windows count only
// with --hidden.
class WindowFilter {
public:
    explicit WindowFilter(const Args& args);

    bool Matches(HWND window) const;
    // Matching top-level windows, topmost first.
    std::vector<HWND> Find() const;
    std::string Describe() const;

private:
    HWND hwnd_ = nullptr;
    bool hasTitle_ = false;
    std::wstring title_, titlePart_, className_, exe_;
    long long pid_ = -1;
    bool hidden_ = false;
};

// Controls below a top-level window chosen by --ctl-hwnd, --id, --text
// (exact), --text-part, --ctl-class; --nth=K picks the K-th (from 0) of
// several matches, which are otherwise refused as ambiguous.
class ControlFilter {
public:
    explicit ControlFilter(const Args& args);

    bool Empty() const;
    bool Matches(HWND control) const;
    std::vector<HWND> Find(HWND top) const;
    std::string Describe() const;
    long long Nth() const { return nth_; }

private:
    HWND hwnd_ = nullptr;
    long long id_ = -1;
    bool hasId_ = false;
    bool hasText_ = false;
    std::wstring text_, textPart_, className_;
    long long nth_ = -1;
    bool hidden_ = false;
};

// Waits for a top-level window of the filter that is visible and has at
// least --min-children (default 1) controls: a window is found before its
// children are created. Uses --timeout (milliseconds, default 10000).
HWND WaitWindow(const Args& args, const Deadline& deadline);

// Waits for exactly one control of the filter below `top` (see --nth);
// with `needEnabled` it must also be UsableByUser.
HWND WaitControl(HWND top, const ControlFilter& filter, bool needEnabled, const Deadline& deadline);

long long TimeoutOf(const Args& args);
