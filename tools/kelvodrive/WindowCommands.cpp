// Commands about top-level windows: listing, waiting, describing, closing.
#include "Args.h"
#include "Commands.h"
#include "Describe.h"
#include "Failure.h"
#include "WindowQuery.h"

int CommandWindows(const Args& args)
{
    for (HWND window : WindowFilter(args).Find())
        WindowLine(window).Print();
    return kExitOk;
}

int CommandWait(const Args& args)
{
    Deadline deadline(TimeoutOf(args));
    HWND top = WaitWindow(args, deadline);
    ControlFilter controls(args);
    if (controls.Empty()) {
        if (args.Has(L"enabled"))
            FailUsage("--enabled needs a control to wait for");
        WindowLine(top).Print();
        return kExitOk;
    }
    HWND control = WaitControl(top, controls, args.Has(L"enabled"), deadline);
    WindowLine(top).Print();
    ControlLine(control, top, Responsive(top)).Print();
    return kExitOk;
}

int CommandWaitGone(const Args& args)
{
    Deadline deadline(TimeoutOf(args));
    WindowFilter windows(args);
    ControlFilter controls(args);
    for (;;) {
        bool present = false;
        for (HWND top : windows.Find())
            present = present || controls.Empty() || !controls.Find(top).empty();
        if (!present)
            break;
        if (deadline.Passed())
            FailTimeout("still present after " + std::to_string(deadline.Milliseconds()) +
                        " ms: " + windows.Describe() + (controls.Empty() ? "" : " with " + controls.Describe()));
        Pause();
    }
    OutputLine().Flag("gone", true).Print();
    return kExitOk;
}

int CommandChildren(const Args& args)
{
    HWND top = WaitWindow(args, Deadline(TimeoutOf(args)));
    bool responsive = Responsive(top);
    WindowLine(top).Flag("responsive", responsive).Print();
    for (HWND control : Descendants(top))
        ControlLine(control, top, responsive).Print();
    return kExitOk;
}

int CommandClose(const Args& args)
{
    std::vector<HWND> targets;
    if (args.Has(L"all")) {
        targets = WindowFilter(args).Find();
    } else {
        targets.push_back(WaitWindow(args, Deadline(TimeoutOf(args))));
    }
    for (HWND window : targets) {
        if (!PostMessageW(window, WM_CLOSE, 0, 0))
            Fail("cannot post WM_CLOSE");
        OutputLine().Hex("closed", reinterpret_cast<UINT_PTR>(window)).Print();
    }
    return kExitOk;
}
