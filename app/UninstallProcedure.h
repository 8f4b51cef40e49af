// The uninstallation, in the relaunched copy: the uninstall data read
// (nothing is deleted when it is missing or damaged), the destination
// checked against the folders that must never go, the program group
// deleted, the destination tree deleted, the entry in the list of installed
// programs removed, the working files and the relaunch's folder removed.
#pragma once

#include "WorkFolder.h"

#include "Status.h"

#include <string>

class TRelaunch;

class UninstallProcedure {
public:
    // The step logic's buffers that receive the group name and the
    // destination from the uninstall data. `silent`: no completion message.
    // `parent`: the installed copy that started this one, when it waits for
    // the result (else null).
    UninstallProcedure(const WorkFolder& workFolder, char* NomeGrupo, char* DirDest, bool silent,
                       TRelaunch* parent = nullptr);

    // The exit code: 0 when everything was removed, 1 when something failed
    // (each failure has been shown).
    int Run();

private:
    // The group name and destination from the uninstall data beside the
    // relaunched copy in `start`.
    Status ReadUninstallData(const std::string& start);
    // Deletes the group and the destination tree `full` (where the
    // installed copy `program` runs); 1 if any failed.
    int Remove(const std::string& full, const std::string& program, bool* removed);

    const WorkFolder& workFolder;
    char* NomeGrupo;
    char* DirDest;
    bool silent;
    TRelaunch* parent;
};
