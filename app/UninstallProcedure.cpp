#include "UninstallProcedure.h"

#include "InstallRules.h"
#include "ProcedureReport.h"
#include "ProgramsList.h"
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
bool OnlyHolds(const std::string& folder, const std::string& name)
{
    std::vector<platform::FolderEntry> entries;
    return !name.empty() && platform::ListFolder(folder.c_str(), &entries) && entries.size() == 1 &&
           !entries[0].folder && layout::FoldCase(entries[0].name) == layout::FoldCase(name);
}

// The installed copy ends as soon as it has the result.
constexpr unsigned kParentEndWait = 60000;

}  // namespace

UninstallProcedure::UninstallProcedure(const WorkFolder& _workFolder, char* _NomeGrupo, char* _DirDest,
                                       bool _silent, TRelaunch* _parent)
    : workFolder(_workFolder), NomeGrupo(_NomeGrupo), DirDest(_DirDest), silent(_silent), parent(_parent)
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

int UninstallProcedure::Remove(const std::string& full, const std::string& program, bool* removed)
{
    int code = 0;
    {
        TProgramGroups grupo;
        code |= Report(grupo.DeleteGroup(NomeGrupo, full));
        code |= Report(grupo.Close());
    }
    // A destination that is itself a link goes as a link: what it leads to
    // belongs to another tree.
    if (platform::IsLink(full.c_str()))
        platform::RemoveFolder(full.c_str());
    else
        DelTree(full.c_str());
    // The installed copy that waits for the result runs from the tree: it
    // gets the result and ends, and then its image goes too.
    if (parent != nullptr && parent->Awaited() && OnlyHolds(full, program)) {
        parent->Report(code);
        if (parent->WaitGone(kParentEndWait))
            DelTree(full.c_str());
    }
    *removed = !platform::FolderExists(full.c_str());
    if (!*removed)
        code |= Report(Status::Failure(Fault::kPlatform,
                                       "Some files could not be removed from \"" + full +
                                           "\" (they may be in use or read-only).",
                                       "Error!"));
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
    const int code = Remove(full, program, &removed);
    if (removed && programs::Unregister(install::ProgramEntryKey(full)) && alreadyGone)
        ShowMessage(("The application was removed from \"" + full +
                     "\" already: its entry in the list of installed programs is removed too.")
                        .c_str(),
                    "Notice!", kMbOk | kMbIconAsterisk);
    cleanup::EndRun(workFolder, true);
    if (removed && !silent)
        MessageBoxExA(nullptr, "Uninstallation is completed.", "Notice!", MB_OK, 0);
    return code;
}
