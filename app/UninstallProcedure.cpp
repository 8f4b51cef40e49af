#include "UninstallProcedure.h"

#include "InstallRules.h"
#include "ProcedureReport.h"
#include "ProgramsList.h"
#include "RecordedRemoval.h"
#include "StartupRules.h"
#include "SystemFolders.h"
#include "WorkingFiles.h"

#include "FileSys.h"
#include "FolderGuard.h"
#include "Limits.h"
#include "Platform.h"
#include "SetupLayout.h"
#include "TProgramGroups.h"

#include <windows.h>

using procedure::Fail;
using procedure::Report;

namespace {

const char kNothingRemoved[] = "Nothing has been removed.";

// The full form of a folder on the way to be deleted, and why it must not
// be, under its name and under its real name behind any link.
std::string WhyNotDelete(const std::string& full)
{
    const guard::ProtectedFolders protectedFolders = sysfolders::ProtectedFolders();
    std::string why = guard::WhyProtected(full, protectedFolders);
    if (!why.empty() || platform::IsLink(full.c_str()))
        return why;
    const std::string real = platform::RealPath(full.c_str());
    if (real.empty())
        return why;
    return guard::WhyProtected(guard::FullFolder(real, full), protectedFolders);
}

}  // namespace

UninstallProcedure::UninstallProcedure(const WorkFolder& _workFolder, char* _NomeGrupo, char* _DirDest,
                                       const TListaDado* _listaDado, bool _silent)
    : workFolder(_workFolder), NomeGrupo(_NomeGrupo), DirDest(_DirDest), listaDado(_listaDado), silent(_silent)
{
}

Status UninstallProcedure::ReadUninstallData(const std::string& start)
{
    const std::string uninstallCopy = start + "\\" + layout::kUninstallCopy;
    std::string data;
    std::string group;
    std::string destination;
    Status status = Status::Failure(Fault::kUnreadable, "it cannot be read", "Error!");
    if (!start.empty() && working::ReadAll(uninstallCopy.c_str(), &data, 4 * kPathSize))
        status = layout::ParseUninstallData(data, &group, &destination);
    if (!status)
        return status.Reworded(std::string("The uninstallation data \"") + layout::kUninstallCopy +
                               "\" is missing or damaged: " + status.Text() + ".");
    status = startup::CopyPath(NomeGrupo, group.c_str());
    if (status)
        status = startup::CopyPath(DirDest, destination.c_str());
    Normaliza(NomeGrupo);
    return status;
}

std::vector<layout::WrittenEntry> UninstallProcedure::Written(const std::string& full,
                                                            const std::string& program) const
{
    std::vector<layout::WrittenEntry> entries = layout::OwnEntries();
    std::vector<layout::WrittenEntry> recorded;
    std::string text;
    const std::string record = full + layout::kInstallRecord;
    if (!working::ReadAll(record.c_str(), &text, 64u << 20) || !layout::ParseRecord(text, &recorded)) {
        // Installed before records were kept: what its script may have put there.
        std::vector<std::string> names;
        for (int i = 0; listaDado != nullptr && i < listaDado->NDados(); ++i) {
            if (listaDado->Ful(i) || listaDado->Typ(i) || listaDado->Min(i))
                names.emplace_back(listaDado->Arq(i));
        }
        recorded = layout::EntriesOfScript(names, program);
    }
    entries.insert(entries.end(), recorded.begin(), recorded.end());
    return entries;
}

int UninstallProcedure::Remove(const std::string& full, const std::string& program, bool* removed,
                               std::string* left)
{
    const layout::RemovalPlan plan = layout::PlanRemoval(Written(full, program));
    int code = 0;
    {
        TProgramGroups grupo;
        code |= Report(grupo.DeleteGroup(NomeGrupo, full));
        // Groups of an earlier installation taken over by this one.
        for (const std::string& group : plan.groups) {
            if (layout::FoldCase(group) != layout::FoldCase(NomeGrupo))
                code |= Report(grupo.DeleteGroup(group.c_str(), full));
        }
        code |= Report(grupo.Close());
    }
    // A destination that is itself a link goes as a link: what it leads to
    // belongs to another tree.
    if (platform::IsLink(full.c_str())) {
        platform::RemoveFolder(full.c_str());
        *removed = !platform::FolderExists(full.c_str());
        return code;
    }
    const install::RemovalOutcome outcome = install::RemoveRecorded(full, plan);
    *removed = outcome.failed.empty();
    if (!*removed)
        code |= Report(Status::Failure(Fault::kPlatform,
                                       "Some files could not be removed from \"" + full +
                                           "\" (they may be in use or read-only): " +
                                           install::ListForMessage(outcome.failed, 0) + ".",
                                       "Error!"));
    size_t more = 0;
    const std::vector<std::string> stays = install::WhatIsLeft(full, 8, &more);
    if (!outcome.destinationRemoved && !stays.empty())
        *left = "The folder \"" + full + "\" stays: the setup did not install " +
                install::ListForMessage(stays, more) + " there.";
    return code;
}

int UninstallProcedure::Run()
{
    workFolder.Enter();
    std::string program;
    working::ReadLine(layout::kProgramName, &program);
    // The relaunch left the uninstall data beside the copy it started.
    std::string start;
    working::ReadLine(layout::kStartFolder, &start);
    platform::ChangeFolder(start.c_str());

    // Nothing is deleted on missing or damaged uninstall data.
    const Status read = ReadUninstallData(start);
    if (!read)
        return Fail(read, kNothingRemoved);

    // The tree is deleted under its resolved name: a drive root, the
    // system's folders or a link to them in disguise are refused.
    const std::string full = guard::FullFolder(DirDest, platform::CurrentFolder());
    const bool alreadyGone = !full.empty() && !platform::FolderExists(full.c_str());
    const std::string why = WhyNotDelete(full);
    if (!why.empty())
        return Fail(Status::Failure(Fault::kRefused, why + ": the uninstaller does not delete it.", "Error!"),
                    kNothingRemoved);

    bool removed = false;
    std::string left;
    const int code = Remove(full, program, &removed, &left);
    if (removed && programs::Unregister(install::ProgramEntryKey(full)) && alreadyGone)
        ShowMessage(("The application was removed from \"" + full +
                     "\" already: its entry in the list of installed programs is removed too.")
                        .c_str(),
                    "Notice!", kMbOk | kMbIconAsterisk);
    workFolder.Enter();
    working::RemoveAll(false, program);
    // The relaunch's own folder: the data and the copy that runs (which the
    // system keeps while it runs).
    platform::ChangeFolder(start.c_str());
    working::RemoveAll(true, program);
    workFolder.Leave();
    if (layout::IsRunFolder(start))
        platform::RemoveFolder(start.c_str());
    // Unattended, what stays is said on the console, and is no failure.
    if (removed && !silent)
        MessageBoxExA(nullptr, ("Uninstallation is completed." + (left.empty() ? "" : "\n\n" + left)).c_str(),
                      "Notice!", MB_OK, 0);
    else if (!left.empty())
        ShowMessage(left.c_str(), "Notice!", kMbOk | kMbIconAsterisk);
    return code;
}
