// The output lines that describe windows and controls.
#pragma once

#include "OutputLine.h"

#include <windows.h>

#include <string>

// A message sent with a time-out, for state that only the owning program
// knows (edit contents, list entries, scroll positions, check marks).
bool Ask(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result);
// Whether the program behind the window answers messages at all; while it
// works inside a handler, only the stored state can be read.
bool Responsive(HWND window);
// The text of a control as its program holds it (an edit field's contents).
std::wstring CurrentText(HWND control, bool responsive);

// hwnd pid exe class title visible enabled x y w h cx cy cw ch owner
OutputLine WindowLine(HWND top);
// hwnd parent id class text x y w h enabled visible checked style, and
// count/sel for list boxes, pos/min/max/page for scroll bars.
OutputLine ControlLine(HWND control, HWND top, bool responsive);
