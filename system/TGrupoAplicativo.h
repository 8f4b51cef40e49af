// A client of the shell's program-group service, reached through DDEML
// under the service and topic "PROGMAN": lists the groups, creates a group,
// adds items to it, deletes groups and items, each by one bracketed command.
// One client lives for one operation (listing, installing, uninstalling).
//
// Every operation returns a Status: the caller decides what to show. The
// texts are those the user has always seen ("DDEML Call Back Error: Can't
// start conversation.\nMake sure PROGMAN is running.", caption "Create
// Group", ...). Notices that DDEML delivers through the callback while an
// operation waits (a critical error, the service ending the conversation)
// come back as the Status of that operation when the operation itself
// succeeded, the oldest first; one that meets a failure, or comes with
// another, waits for the next operation that succeeds, or for TakeNotices().
//
// Windows only.
#pragma once

#include "Status.h"

#include <windows.h>
#include <ddeml.h>

#include <deque>
#include <vector>

class TGrupoAplicativo {
public:
    // Initialises DDEML and connects (Setup). Nothing is reported here: a
    // missing service shows in the first operation's Status.
    TGrupoAplicativo();
    // Close(), its Status dropped.
    ~TGrupoAplicativo();
    TGrupoAplicativo(const TGrupoAplicativo&) = delete;
    TGrupoAplicativo& operator=(const TGrupoAplicativo&) = delete;

    // What Setup met: a failure of the callback, of DdeInitializeA or of the
    // string handles ("DEML Call Back Error: ..."), else success.
    const Status& SetupStatus() const { return setupStatus_; }
    bool Connected() const { return HConv != nullptr; }

    // One execute transaction of a complete command (time-out 5000 ms). A
    // command that the service refuses or does not answer in time is a
    // failure naming the command.
    Status SendCommand(const char* comando);
    // "[CreateGroup(%s)]", "[AddItem(\"%s\", %s)]" (arq quoted, nome bare,
    // so that further arguments may follow the name), "[DeleteGroup(%s)]",
    // "[DeleteItem(%s)]". A command over 255 characters is refused unsent.
    Status CreateGroup(const char* nome);
    Status AddItem(const char* arq, const char* nome);
    Status DeleteGroup(const char* nome);
    Status DeleteItem(const char* nome);

    // The service's reply to the item "Groups" (time-out 15 s, for a large
    // Start Menu) into list: Len bytes, zeros after the reply, the reply cut
    // at Len bytes. Without a conversation or when the request fails with
    // an error, a failure (list is then left as it was).
    // The conversation is renewed after the request, so that nothing the
    // service sends late about it can answer a later transaction.
    Status ListGroups(char* list, int Len);

    // Sends "[ExitProgman(1)]" (the service saves its groups), disconnects
    // and ends the DDEML instance. The Status of the command; once closed,
    // success and nothing sent. Idempotent.
    Status Close();

    // The callback's notices that no operation has handed back yet.
    std::vector<Status> TakeNotices();

private:
    void Setup();
    // Ends the conversation without taking its end for the service's.
    void Disconnect();
    // Runs a formatted command, or refuses one that did not fit.
    Status SendFormatted(bool fits, const char* buffer, const char* command);
    // result, or, when it is a success, the oldest waiting notice.
    Status Notices(Status result);
    static HDDEDATA CALLBACK CallBack(UINT type, UINT format, HCONV conversation, HSZ hsz1, HSZ hsz2, HDDEDATA data,
                                      ULONG_PTR data1, ULONG_PTR data2);

    DWORD InstId = 0;
    HCONV HConv = nullptr;
    HSZ Service = nullptr;
    HSZ Topic = nullptr;
    PFNCALLBACK CallBackProc = nullptr;
    Status setupStatus_;
    bool closed_ = false;
    std::deque<Status> notices_;  // from the callback, handed back by the operations
};
