#include "SentMessageWait.h"

bool WaitLettingSentMessagesThrough(HANDLE event, DWORD ms)
{
    const DWORD handles = event != nullptr ? 1 : 0;
    const DWORD start = GetTickCount();
    for (;;) {
        const DWORD elapsed = GetTickCount() - start;
        if (elapsed >= ms)
            return event != nullptr && WaitForSingleObject(event, 0) == WAIT_OBJECT_0;
        const DWORD woken = MsgWaitForMultipleObjects(handles, &event, FALSE, ms - elapsed, QS_SENDMESSAGE);
        if (woken < WAIT_OBJECT_0 + handles)
            return true;
        if (woken != WAIT_OBJECT_0 + handles)
            return false;
        MSG message;
        PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
}
