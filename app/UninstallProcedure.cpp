#include "UninstallProcedure.h"

#include "InstallRules.h"
#include "ProcedureReport.h"
#include "ProgramsList.h"
#include "RecordedRemoval.h"
#include "RunCleanup.h"
#include "StartupRules.h"
#include "SystemFolders.h"
#include "TRelaunch.h"
#include "WorkingFiles.h"

#include "FileSys.h"
#include "FolderGuard.h"
#include "Limits.h"
#include "Platform.h"
#include "SetupLayout.h"
#include "TProgramGroups.h"

#include <windows.h>

#include <algorithm>
#include <vector>

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

// Whether the folder holds nothing but the file `name` (letter case aside).
// Whether all that could not go is the installed copy's image, which its
// process keeps.
bool OnlyItsImageFailed(const install::RemovalOutcome& outcome, const std::string& program)
{
    return !program.empty() && outcome.failed.size() == 1 &&
           layout::FoldCase(outcome.failed[0]) == layout::FoldCase(program);
}

// The installed copy ends as soon as it has the result.
constexpr unsigned kParentEndWait = 60000;

}  // namespace

UninstallProcedure::UninstallProcedure(const WorkFolder& _workFolder, char* _NomeGrupo, char* _DirDest,
                                       const TListaDado* _listaDado, bool _silent, TRelaunch* _parent)
    : workFolder(_workFolder), NomeGrupo(_NomeGrupo), DirDest(_DirDest), listaDado(_listaDado), silent(_silent),
      parent(_parent)
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
    // A name that would split the group command could delete another group.
    char bad = 0;
    if (status && !layout::IsCommandSafe(NomeGrupo, &bad))
        return Status::Failure(Fault::kDamaged,
                               std::string("The uninstallation data \"") + layout::kUninstallCopy +
                                   "\" is missing or damaged: its line for the program group's name is damaged.",
                               "Error!");
    return status;
}

std::vector<layout::WrittenEntry> UninstallProcedure::Written(const std::string& full, const std::string& program) const
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

int UninstallProcedure::Remove(const std::string& full, const std::string& program, bool* removed, std::string* left)
{
    layout::RemovalPlan plan = layout::PlanRemoval(Written(full, program), full);
    // A folder above that the system keeps stays, empty or not.
    const guard::ProtectedFolders protectedFolders = sysfolders::ProtectedFolders();
    plan.parents.erase(std::remove_if(plan.parents.begin(), plan.parents.end(),
                                      [&](const std::string& parent) {
                                          return !guard::WhyProtected(parent, protectedFolders).empty();
                                      }),
                       plan.parents.end());
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
    install::RemovalOutcome outcome = install::RemoveRecorded(full, plan);
    // The installed copy that waits for the result runs from the tree: it
    // gets the result and ends, and then its image goes too.
    if (parent != nullptr && parent->Awaited() && OnlyItsImageFailed(outcome, program)) {
        parent->Report(code);
        if (parent->WaitGone(kParentEndWait))
            outcome = install::RemoveRecorded(full, plan);
    }
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
        *left = "The folder \"" + full + "\" stays: the setup did not install " + install::ListForMessage(stays, more) +
                " there.";
    // Of the folders above that it made, the innermost that stays holds what
    // keeps the others.
    if (!outcome.parentsLeft.empty()) {
        const std::string& parent = outcome.parentsLeft.front();
        const std::vector<std::string> holds = install::WhatIsLeft(parent, 8, &more);
        *left = "The folder \"" + parent + "\" stays: the setup did not put " +
                (holds.empty() ? std::string("what it holds") : install::ListForMessage(holds, more)) + " there.";
    }
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
    cleanup::EndRun(workFolder, true);
    // Unattended, what stays is said on the console, and is no failure.
    if (removed && !silent)
        MessageBoxExA(nullptr, ("Uninstallation is completed." + (left.empty() ? "" : "\n\n" + left)).c_str(),
                      "Notice!", MB_OK, 0);
    else if (!left.empty())
        ShowMessage(left.c_str(), "Notice!", kMbOk | kMbIconAsterisk);
    return code;
}
