// The uninstaller's relaunch across two processes. The installed copy
// starts its copy in the temporary folder, passing on a handle to itself
// and, when unattended, the write end of a pipe on which it waits for the
// copy's exit code and then ends with it, so that whoever started it (the
// list of installed programs) learns the result. The copy deletes nothing
// the installed copy runs from while that one still runs.
#pragma once

#include "CommandLine.h"
#include "TOwnedHandle.h"

#include "Status.h"

#include <string>

class TRelaunch {
public:
    // The relaunched side: adopts the handles `options` names (none when it
    // was not started as a relaunch).
    explicit TRelaunch(const cmdline::Options& options);

    // The installed side: starts `folder`\`program` with `folder` current
    // and `arguments` after the handles. When `awaitResult`, waits for the
    // copy's exit code (*code); else *code is 0 once it runs. A copy that
    // cannot start is a failure (kPlatform) naming it.
    static Status Start(const std::string& folder, const std::string& program, const std::string& arguments,
                        bool awaitResult, int* code);

    // Whether the installed copy waits for the result.
    bool Awaited() const { return result_.Valid(); }
    // Hands the installed copy its exit code, once; it then ends.
    void Report(int code);
    // Waits (at most `milliseconds`) for the installed copy to end; true
    // when it has, or when there is none.
    bool WaitGone(unsigned milliseconds) const;

private:
    TOwnedHandle parent_;
    TOwnedHandle result_;
};
