#pragma once

#include <windows.h>

// Waits at most ms for `event` (nullptr: for the time alone). Messages that
// other threads send to this thread's windows are let through meanwhile: a
// broadcast that reaches this thread's windows would otherwise wait for this
// very wait. What the user does waits in the queue. True when the event was
// signalled.
bool WaitLettingSentMessagesThrough(HANDLE event, DWORD ms);
