// A program-group client (TGrupoAplicativo) on a thread of its own, so that
// no wait on the shell's service holds the caller's thread longer than a
// bound: the service is found by a broadcast that any hung top-level window
// blocks, a shell that is busy or runs at another integrity level (an
// elevated setup's) may never answer, and a large Start Menu takes its time
// to list. A DDEML instance and its conversations belong to the thread that
// made them, so the client is made, used and closed on the worker's thread,
// which dispatches its messages between jobs (it must never look hung
// itself to other programs' broadcasts).
//
// Windows only.
#pragma once

#include "Status.h"
#include "TGrupoAplicativo.h"

#include <windows.h>

#include <functional>

class TGroupWorker {
public:
    using Job = std::function<Status(TGrupoAplicativo&)>;

    // Starts the thread, whose client connects; waits for that at most
    // connectMs.
    explicit TGroupWorker(DWORD connectMs);
    // Closes the client (its ExitProgman) within kCloseMs unless the worker
    // was given up, and lets the thread end.
    ~TGroupWorker();
    TGroupWorker(const TGroupWorker&) = delete;
    TGroupWorker& operator=(const TGroupWorker&) = delete;

    // Whether the client connected within the bound.
    bool Connected() const { return connected_; }

    // Runs job on the worker's client and hands back its Status, waiting at
    // most boundMs. A job that does not end in time fails ("PROGMAN did not
    // answer in time."), and the worker is given up: every later job fails
    // at once, and the thread is left to end when its wait does.
    Status Run(Job job, DWORD boundMs);

    static constexpr DWORD kCloseMs = 5000;

private:
    struct Shared;
    static unsigned __stdcall Main(void* argument);
    // Lets go of one share; the last one frees it.
    static void Release(Shared* shared);

    Shared* shared_ = nullptr;
    HANDLE thread_ = nullptr;
    bool connected_ = false;
    bool givenUp_ = false;
};
