// The program groups as the wizard and the procedures use them: listed,
// made and removed over the shell's "PROGMAN" service (TGrupoAplicativo,
// with exactly its commands) when it answers in time, or else, where no
// service answers at all (a setup run as the system, a replacement shell,
// a hung window that blocks the service's broadcast), made and removed
// directly as the Start Menu folder and shortcuts that the service would
// make (TStartMenuGroup). Nothing here waits on the service longer than a
// bound (TGroupWorker). One object lives for one operation.
//
// Windows only.
#pragma once

#include "Status.h"
#include "TFolderWindows.h"
#include "TGroupWorker.h"
#include "TStartMenuGroup.h"

#include <optional>
#include <string>

class TProgramGroups {
public:
    // Time the service has to answer the connection (a broadcast to every
    // top-level window, normally a matter of milliseconds), to list its
    // groups (a large Start Menu), and to take a command.
    static constexpr DWORD kConnectMs = 5000;
    static constexpr DWORD kListMs = 20000;
    static constexpr DWORD kCommandMs = 10000;
    // Time the shell has to open the folder window of a group it made.
    static constexpr DWORD kFolderWindowMs = 2000;

    // Connects to the service, waiting at most kConnectMs.
    TProgramGroups();
    // Close(), its Status dropped.
    ~TProgramGroups() = default;
    TProgramGroups(const TProgramGroups&) = delete;
    TProgramGroups& operator=(const TProgramGroups&) = delete;

    // Whether the service answered: the groups are its; else they are the
    // Start Menu's folders, made directly.
    bool ViaService() const { return worker_.Connected(); }

    // The service's "Groups" reply as TGrupoAplicativo::ListGroups gives
    // it. Without the service, or when it does not answer in time, a
    // failure saying so (the list is then left as it was).
    Status ListGroups(char* list, int Len);
    // As the service's commands; without it, the folder and its shortcuts.
    // The service shows the group it makes in a folder window; with
    // closeFolderWindow (an unattended setup, which leaves no window behind)
    // Close() closes that window, and no other.
    Status CreateGroup(const char* nome, bool closeFolderWindow);
    Status AddItem(const char* arq, const char* nome);
    // The group of an installation into `destination` (full form): the
    // service deletes it with its items; then, and without the service,
    // what is left of the items that lead into the destination goes, and
    // the folder if that empties it. A group that is gone already is no
    // failure.
    Status DeleteGroup(const char* nome, const std::string& destination);
    // The service's ExitProgman; nothing without it. Then the folder window
    // that CreateGroup asked to close, once it appears, waited for at most
    // kFolderWindowMs: not before, since the shell that closes it is the one
    // that answers the commands. Idempotent.
    Status Close();

private:
    TGroupWorker worker_;
    TStartMenuGroup startMenu_;
    // The folder windows open before the group to close was made, and its name.
    std::optional<TFolderWindows> windowsBefore_;
    std::string windowGroup_;
};
