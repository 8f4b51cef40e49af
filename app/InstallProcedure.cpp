#include "InstallProcedure.h"

#include "InstallRules.h"
#include "ProcedureReport.h"
#include "ProgramsList.h"
#include "RecordedRemoval.h"
#include "StartupRules.h"
#include "SystemFolders.h"
#include "WorkingFiles.h"

#include "FileSys.h"
#include "Limits.h"
#include "PathSplit.h"
#include "Platform.h"
#include "SetupLayout.h"
#include "TProgramGroups.h"

#include <cstring>

using procedure::Fail;
using procedure::Report;

namespace {

const char kNothingInstalled[] = "Nothing has been installed.";

// The destination folder cannot take the installation: what it cannot do,
// and what the user can do about it.
Status DestinationRefuses(const std::string& destination, const char* cannot)
{
    return Status::Failure(Fault::kCannotCreate,
                           "The destination folder \"" + destination + "\" " + cannot +
                               ".\nChoose another folder, or start the setup as an administrator.",
                           "Error!");
}

// The "Uninstall" item's title, with its icon from the system's shell32.dll.
std::string UninstallTitle()
{
    return "Uninstall, " + sysfolders::WindowsFolder() + "\\SYSTEM\\shell32.dll, 58";
}

}  // namespace

InstallProcedure::InstallProcedure(const WorkFolder& _workFolder, Settings _settings, InstallProgress& _progress)
    : workFolder(_workFolder), settings(std::move(_settings)), progress(_progress)
{
}

Status InstallProcedure::Check()
{
    workFolder.Enter();
    if (!working::ReadLine(layout::kProgramName, &program) || program.empty())
        return Status::Failure(Fault::kUnreadable,
                               std::string("The working file \"") + layout::kProgramName + "\" is missing from \"" +
                                   workFolder.Path() + "\".",
                               "Error!");
    Status status = install::CheckDestination(settings.DirDest, workFolder.Path(), sysfolders::ProtectedFolders(),
                                              &destination);
    if (!status)
        return status;
    status = install::CheckRecords(*settings.listaDado, settings.ModosInst);
    if (!status)
        return status;
    status = install::CheckItemCommands(*settings.listaDado, destination, program, UninstallTitle());
    if (!status)
        return status;
    package = std::string(settings.DirAtual) + "\\" + program;
    if (package.size() > kPathMax)
        return Status::Failure(Fault::kRefused,
                               "The setup's path is longer than " + std::to_string(kPathMax) + " characters.",
                               "Error!");
    // The setup may have gone or changed since start-up checked it.
    if (!platform::FileExists(package.c_str()))
        return Status::Failure(Fault::kUnreadable, "The setup \"" + package + "\" is no longer there.", "Error!");
    status = startup::CheckSetupIntegrity(package.c_str());
    if (!status)
        return status;
    return startup::CopyPath(settings.DirDest, destination.c_str());
}

Status InstallProcedure::PrepareDestination(std::string* left)
{
    *left = kNothingInstalled;
    const bool existed = platform::FolderExists(settings.DirDest);
    // The folders above the destination that it makes are the
    // installation's too: the uninstallation removes them when empty.
    std::vector<layout::WrittenEntry> above;
    std::vector<std::string> madeAbove;  // the innermost first, to undo
    for (const std::string& folder : layout::FoldersAbove(destination)) {
        if (!existed && !platform::FolderExists(folder.c_str())) {
            above.push_back({layout::Written::kParent, folder});
            madeAbove.insert(madeAbove.begin(), folder);
        }
    }
    Status status = TryMakePath(settings.DirDest, sysfolders::DestinationAccess(destination));
    if (!status || !platform::ChangeFolder(settings.DirDest)) {
        install::RemoveParents(madeAbove);
        return DestinationRefuses(destination, "cannot be created");
    }
    // An earlier installation here is taken over: its record goes on in
    // this one's, so that uninstalling removes both.
    std::string text;
    if (!working::ReadAll(layout::kInstallRecord, &text, 64u << 20) || !layout::ParseRecord(text, &earlier))
        earlier.clear();
    std::vector<layout::WrittenEntry> carried = earlier;
    carried.insert(carried.end(), above.begin(), above.end());
    if (!existed)
        carried.push_back({layout::Written::kDestination, ""});
    if (!record.Begin(destination + layout::kInstallRecord, carried) ||
        !working::Write(layout::kModeFile, std::string(1, layout::kUninstallMark))) {
        // Nothing is left half-installed: a folder made just now goes again.
        if (!existed) {
            platform::RemoveFile(layout::kInstallRecord);
            platform::RemoveFile(layout::kModeFile);
        }
        workFolder.Enter();
        if (!existed)
            platform::RemoveFolder(destination.c_str());
        install::RemoveParents(madeAbove);
        return DestinationRefuses(destination, "cannot be written to");
    }
    *left = "The installation is incomplete. What was installed so far stays in \"" + destination + "\".";
    // Started from the destination, the setup is the user's own file there.
    if (!platform::SameFile(package.c_str(), (destination + program).c_str())) {
        status = record.Add({layout::Written::kSetupCopy, program});
        if (!status)
            return status;
    }
    // Installed into the folder it was started from, the setup stays as it is.
    status = TryCopyExe(settings.DirAtual, program.c_str(), program.c_str());
    if (!status)
        return status;
    return startup::CopyPath(settings.DirAtual, package.c_str());
}

Status InstallProcedure::RecordFolders(const std::string& folder)
{
    for (size_t cut = 0; cut != std::string::npos && cut < folder.size();) {
        cut = folder.find_first_of("\\/", cut + 1);
        const std::string made = folder.substr(0, cut);
        if (platform::FolderExists(made.c_str()))
            continue;
        const Status status = record.Add({layout::Written::kFolder, made});
        if (!status)
            return status;
    }
    return Status();
}

int InstallProcedure::RemoveSuperseded()
{
    if (earlier.empty())
        return 0;
    std::vector<layout::WrittenEntry> gone;
    for (const layout::WrittenEntry& entry : layout::Superseded(earlier, record.Added())) {
        // The setup at work is never one of them, even under an old name.
        if (entry.kind != layout::Written::kGroup && layout::FoldCase(entry.name) != layout::FoldCase(program))
            gone.push_back(entry);
    }
    // Folders of the earlier installation that this leaves empty go too.
    for (const layout::WrittenEntry& entry : earlier) {
        if (entry.kind == layout::Written::kFolder)
            gone.push_back(entry);
    }
    const install::RemovalOutcome outcome = install::RemoveRecorded(destination, layout::PlanRemoval(gone));
    if (outcome.failed.empty())
        return 0;
    return Report(Status::Failure(Fault::kPlatform,
                                  "Files of the earlier installation in \"" + destination +
                                      "\" could not be removed: " + install::ListForMessage(outcome.failed, 0) + ".",
                                  "Error!"));
}

Status InstallProcedure::InstallFailure(const Status& status, const char* arq, uint64_t written,
                                        uint64_t expected) const
{
    if (status.What() == Fault::kDamaged && written != expected)
        return status.Reworded("The setup is damaged: \"" + std::string(arq) + "\" comes out with " +
                               std::to_string(written) + " bytes instead of " + std::to_string(expected) +
                               ".\nPlease download the setup again.");
    // The file layer's word for a file it cannot create says little.
    const std::string why = status.What() == Fault::kCannotCreate
                                ? "the file cannot be created (another program may be using it, or the "
                                  "folder is read-only)"
                                : status.Text();
    return status.Reworded("Can't install \"" + std::string(arq) + "\": " + why);
}

Status InstallProcedure::ExtractFiles(TApend& apend)
{
    const TListaDado& list = *settings.listaDado;
    Status status = apend.TryExtrairArq(layout::kScript);
    platform::RemoveFile(layout::kScript);
    if (!status)
        return status;
    // Every member is registered, from the last: each is found by the
    // sizes of those behind it.
    const int N = list.NDados();
    for (int i = N - 1; i >= 0; --i) {
        status = apend.TryIncluirFat(install::MemberName(list, i, settings.ModosInst).c_str(), list.TamComp(i));
        if (!status)
            return status;
    }

    progress.Texto1("Extracting file:");
    uint64_t VAtual = 0;
    std::string madeFolder;
    for (int i = N - 1; i >= 0; --i) {
        if (!install::Selected(list, i, settings.ModosInst))
            continue;
        const char* arq = list.Arq(i);
        // Files of one folder mostly follow each other: its folders are made once.
        const std::string folder = pathsplit::FolderName(arq, &platform::IsLeadByte);
        if (folder != madeFolder) {
            status = RecordFolders(folder);
            if (status)
                status = TryMakePath(arq);
            if (!status)
                return status;
            madeFolder = folder;
        }
        progress.Texto2(arq);
        status = record.Add({layout::Written::kFile, arq});
        if (!status)
            return status;
        uint64_t written = 0;
        status = apend.TryExtrairArq(arq, &progress, list.TamOrig(i), &written);
        if (status.IsCanceled())
            return status;
        if (!status)
            return InstallFailure(status, arq, written, list.TamOrig(i));
        VAtual += list.TamOrig(i);
        progress.ValAtual(VAtual);
        if (progress.StopAsked())
            return Status::Canceled();
    }
    progress.Finished();
    return Status();
}

int InstallProcedure::Register()
{
    const TListaDado& list = *settings.listaDado;
    char* const NomeGrupo = settings.NomeGrupo;
    int code = Report(record.Add({layout::Written::kGroup, NomeGrupo}));
    TProgramGroups grupo;
    code |= Report(grupo.CreateGroup(NomeGrupo, settings.silent));
    for (const layout::WrittenEntry& gone : layout::Superseded(earlier, record.Added())) {
        if (layout::MayDelete(gone) == layout::Removal::kDeleteGroup)
            code |= Report(grupo.DeleteGroup(gone.name.c_str(), destination));
    }
    Retifica(NomeGrupo);
    if (!working::Write(layout::kUninstallData, layout::FormatUninstallData(NomeGrupo, settings.DirDest)))
        code |= Report(Status::Failure(Fault::kCannotWrite,
                                       std::string("Can't write \"") + layout::kUninstallData + "\" in \"" +
                                           destination + "\": the application cannot be uninstalled.",
                                       "Error!"));
    for (int i = 0; i < list.NDados(); ++i) {
        if (list.Grupo(i))
            code |= Report(grupo.AddItem((destination + list.Arq(i)).c_str(), list.Nome(i)));
    }
    workFolder.Enter();
    working::RemoveAll(false, program);
    workFolder.Leave();
    code |= Report(grupo.AddItem((destination + program).c_str(), UninstallTitle().c_str()));
    code |= Report(grupo.Close());
    int64_t modified = 0;
    uint64_t setupBytes = 0;
    platform::FileStamp(package.c_str(), &setupBytes, &modified);
    Normaliza(NomeGrupo);
    code |= Report(programs::Register(
        install::MakeProgramEntry(destination, program, settings.appName, NomeGrupo, settings.appPublisher,
                                  settings.appVersion, install::SelectedBytes(list, settings.ModosInst) + setupBytes,
                                  sysfolders::CommandInterpreter())));
    return code;
}

int InstallProcedure::Run()
{
    Status status = Check();
    // A damaged setup says itself that nothing has been installed.
    if (!status)
        return Fail(status, status.What() == Fault::kDamaged ? "" : kNothingInstalled);
    std::string left;
    status = PrepareDestination(&left);
    if (!status)
        return Fail(status, left);
    TApend apend(settings.DirAtual);
    status = ExtractFiles(apend);
    if (status.IsCanceled())
        return 0;
    if (!status)
        return Fail(status, left);
    const int code = RemoveSuperseded();
    return code | Register();
}
