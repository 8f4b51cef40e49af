// The installation at the wizard's end (or of an unattended run): first
// everything that can be checked before anything is written; then the
// destination folder, the mode file, the copy of the setup, the chosen
// mode's files from the last record to the first, the program group with
// one item per group-flagged record and the "Uninstall" item, the uninstall
// data, and the entry in the list of installed programs.
#pragma once

#include "InstallProgress.h"
#include "InstallRecorder.h"
#include "WorkFolder.h"

#include "Status.h"
#include "TApend.h"
#include "TListaDado.h"

#include <string>

class InstallProcedure {
public:
    // What the wizard collected: the step logic's own buffers, which the
    // procedure updates (DirAtual becomes the package path, DirDest the
    // full destination folder).
    struct Settings {
        char* DirAtual;
        char* DirDest;
        char* NomeGrupo;
        const char* ModosInst;
        const TListaDado* listaDado;
        // The application, for the list of installed programs (empty when
        // the script names none).
        std::string appName;
        std::string appPublisher;
        std::string appVersion;
        // Unattended: no window may stay behind, the group's folder
        // window either.
        bool silent = false;
    };

    InstallProcedure(const WorkFolder& workFolder, Settings settings, InstallProgress& progress);

    // The exit code: 0 when everything was done, 1 when something failed
    // (each failure has been shown), 0 too when the user stopped it.
    int Run();

private:
    // Everything that can be checked before anything is written; it finds
    // the program's file name, the destination's full form and the package
    // path.
    Status Check();
    // The destination folder made and current, the mode file, the copy of
    // the setup. *left: what a failure leaves behind, for its message.
    Status PrepareDestination(std::string* left);
    // The chosen mode's files; Canceled when the user stopped.
    Status ExtractFiles(TApend& apend);
    // The group and its items, the uninstall data, the working files
    // removed, the list of installed programs: 1 if any of it failed.
    int Register();
    // The folders of `folder` (relative, in the destination) that do not
    // exist yet, recorded as made by the installation.
    Status RecordFolders(const std::string& folder);
    // Over an earlier installation: what it wrote that this one did not
    // (files, its setup copy, folders left empty) goes; 1 if any of it stays.
    int RemoveSuperseded();
    // The failure to install `arq`, in the words the user needs.
    Status InstallFailure(const Status& status, const char* arq, uint64_t written, uint64_t expected) const;

    const WorkFolder& workFolder;
    Settings settings;
    InstallProgress& progress;
    std::string program;                        // the setup's file name
    std::string destination;                    // the destination folder, full
    std::string package;                        // the setup's path in its start folder
    InstallRecorder record;                     // what this installation writes, as it goes
    std::vector<layout::WrittenEntry> earlier;  // the record of an installation here before
};
