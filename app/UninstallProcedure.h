// The uninstallation, in the relaunched copy: the uninstall data read
// (nothing is deleted when it is missing or damaged), the destination
// checked against the folders that must never go, the program group
// deleted, the destination tree deleted, the entry in the list of installed
// programs removed, the working files and the relaunch's folder removed.
// Of the destination only what the installation wrote goes (its record, or
// for an older installation its script's records); what else is there
// stays, and the user is told.
#pragma once

#include "WorkFolder.h"

#include "InstallRecord.h"
#include "Status.h"
#include "TListaDado.h"

#include <string>
#include <vector>

class TRelaunch;

class UninstallProcedure {
public:
    // The step logic's buffers that receive the group name and the
    // destination from the uninstall data; its file list, the installed
    // names of the uninstaller's own script. `silent`: no completion message.
    // `parent`: the installed copy that started this one, when it waits for
    // the result (else null).
    UninstallProcedure(const WorkFolder& workFolder, char* NomeGrupo, char* DirDest, const TListaDado* listaDado,
                       bool silent, TRelaunch* parent = nullptr);

    // The exit code: 0 when everything was removed, 1 when something failed
    // (each failure has been shown).
    int Run();

private:
    // The group name and destination from the uninstall data beside the
    // relaunched copy in `start`.
    Status ReadUninstallData(const std::string& start);
    // What the installation into `full` wrote, by its record or its script.
    std::vector<layout::WrittenEntry> Written(const std::string& full, const std::string& program) const;
    // Deletes the groups and what the installation wrote into `full`; 1 if
    // any of it failed. *left: what else stays there, for the user.
    int Remove(const std::string& full, const std::string& program, bool* removed, std::string* left);

    const WorkFolder& workFolder;
    char* NomeGrupo;
    char* DirDest;
    const TListaDado* listaDado;
    bool silent;
    TRelaunch* parent;
};
