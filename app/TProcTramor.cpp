#include "TProcTramor.h"

#include "CommandLine.h"
#include "InstallRules.h"
#include "ProgramsList.h"
#include "StartupRules.h"
#include "SystemFolders.h"
#include "WorkingFiles.h"

#include "FileSys.h"
#include "FolderGuard.h"
#include "Platform.h"
#include "SetupLayout.h"
#include "TApend.h"
#include "TProgramGroups.h"
#include "TScript.h"

#include <windows.h>

#include <cstring>

namespace {

const char kNothingInstalled[] = "Nothing has been installed.";
const char kNothingRemoved[] = "Nothing has been removed.";

// Shows a failure of a step the procedure goes on after; 1 if there was one.
int Report(const Status& status)
{
    if (status.Ok())
        return 0;
    ShowMessage(status);
    return 1;
}

// The destination folder cannot take the installation: what it cannot do,
// and what the user can do about it.
Status DestinationRefuses(const std::string& destination, const char* cannot)
{
    return Status::Failure("The destination folder \"" + destination + "\" " + cannot +
                               ".\nChoose another folder, or start the setup as an administrator.",
                           "Error!");
}

// The working files of the temporary folder, in the order they are removed.
void RemoveWorkingFiles(bool uninstalling, const std::string& program)
{
    const char* const installFiles[] = {layout::kScript,       layout::kBitmap,    layout::kPresentation,
                                        layout::kAgreement,    layout::kStartFolder, layout::kProgramName};
    for (const char* name : installFiles)
        platform::RemoveFile(name);
    if (!uninstalling)
        return;
    platform::RemoveFile(layout::kModeFile);
    platform::RemoveFile(layout::kUninstallCopy);
    // The running copy itself: the system refuses while it runs.
    if (!program.empty())
        platform::RemoveFile(program.c_str());
}

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

TProcTramor::TProcTramor(TWindow* pai, int _Modo, TButton* back, TButton* next, TButton* cancel)
    : TWinTramor(pai, back, next, cancel), Modo(_Modo), sequence(_Modo),
      listaDado(std::make_unique<TListaDado>())
{
    // The start folder, as start-up wrote it into the temporary folder.
    std::string start;
    if (working::ReadLine(layout::kStartFolder, &start))
        startup::CopyPath(DirAtual, start.c_str());
}

TProcTramor::~TProcTramor()
{
    listaDado.reset();
}

Status TProcTramor::LerScript()
{
    TScript script(layout::kScript);
    const Status loaded = script.Load();
    if (!loaded)
        return loaded;
    char buffer[kPathSize];
    script.LerDirOrig(buffer);
    const size_t lDirOrig = std::strlen(buffer);
    script.LerDirDest(DirDest);
    script.LerNomeGrupo(NomeGrupo);
    script.LerModosInstalacao(buffer);
    // Three letters and nothing more fit the mode buffer.
    std::snprintf(ModosInst, sizeof ModosInst, "%.3s", buffer);
    const struct {
        const char* key;
        std::string* value;
    } app[] = {{kKeyAppName, &appName}, {kKeyAppPublisher, &appPublisher}, {kKeyAppVersion, &appVersion}};
    for (const auto& setting : app) {
        script.GetEntry(setting.key, buffer);
        *setting.value = std::strcmp(buffer, "NULL") == 0 ? std::string() : std::string(buffer);
    }
    listaDado = std::make_unique<TListaDado>();
    return script.ReadRecords(listaDado.get(), lDirOrig);
}

void TProcTramor::LeaveWorkFolder() const
{
    // A folder that is current cannot go.
    platform::ChangeFolder(sysfolders::TemporaryFolder().c_str());
    platform::RemoveFolder(workFolder.c_str());
}

void TProcTramor::LeaveDestination(const std::string& destination, bool existed) const
{
    EnterWorkFolder();
    if (!existed)
        platform::RemoveFolder(destination.c_str());
}

int TProcTramor::RunSilent(const cmdline::Options& options)
{
    silent = true;
    EnterWorkFolder();
    Status status = LerScript();
    if (!status) {
        ShowMessage(status);
        return cmdline::kFailed;
    }
    if (Modo != 1)
        return Finish();  // the installed copy: no confirmation asked

    const auto refuse = [](const std::string& why) {
        ShowMessage(Status::Failure(why + "\n\n" + cmdline::kUsage, "Error!"));
        return cmdline::kBadArguments;
    };
    if (options.hasGroup) {
        if (options.group.size() > kPathMax)
            return refuse("The program group's name is longer than 511 characters.");
        startup::CopyPath(NomeGrupo, options.group.c_str());
    }
    if (options.hasDestination) {
        if (options.destination.size() > kPathMax)
            return refuse("The destination folder is longer than 511 characters.");
        startup::CopyPath(DirDest, options.destination.c_str());
    }
    std::string letters;
    std::string error;
    if (!cmdline::ModeLetters(options.mode, ModosInst, &letters, &error))
        return refuse("Wrong arguments: " + error + ".");
    std::snprintf(ModosInst, sizeof ModosInst, "%s", letters.c_str());
    // The options page's checks, on what the arguments or the script give.
    status = install::CheckGroupName(NomeGrupo);
    if (!status) {
        if (options.hasGroup)
            return refuse(status.Text());
        ShowMessage(status);
        return cmdline::kFailed;
    }
    return Finish();
}

void TProcTramor::End(int code)
{
    PostQuitMessage(code);
}

void TProcTramor::Processar()
{
    const wizard::Step step = sequence.Current();
    if (wizard::PageSequence::ReadsScript(step)) {
        // The folder browser may have left another folder current.
        EnterWorkFolder();
        const Status status = LerScript();
        if (!status) {
            ShowMessage(status);
            End(kFatalExitCode);
            return;
        }
    }
    switch (step) {
    case wizard::Step::kPresentation:
        TE1();
        break;
    case wizard::Step::kAgreement:
        TE2();
        break;
    case wizard::Step::kOptions:
        // A group list the shell does not give leaves the list empty.
        TE3(DirDest, ModosInst, NomeGrupo);
        break;
    case wizard::Step::kStart:
        TE4();
        break;
    case wizard::Step::kInstall:
        TEP(install::SelectedBytes(*listaDado, ModosInst));
        End(Finish());
        break;
    case wizard::Step::kConfirmation:
        _TE1();
        break;
    case wizard::Step::kUninstall:
        End(Finish());
        break;
    case wizard::Step::kNothing:
        break;
    }
}

bool TProcTramor::CheckOptions()
{
    std::string full;
    Status status = install::CheckGroupName(NomeGrupo);
    if (status)
        status = install::CheckDestination(DirDest, platform::CurrentFolder(), sysfolders::ProtectedFolders(),
                                           &full);
    if (status)
        return true;
    MessageBoxExA(pai->GetHandle(), status.Text().c_str(), status.Caption().c_str(), MB_OK | MB_ICONHAND, 0);
    return false;
}

void TProcTramor::Next()
{
    if (running)
        return;
    if (!sequence.NextClosesPages()) {
        sequence.Forward();
        Processar();
        return;
    }
    if (sequence.Current() == wizard::Step::kOptions && !CheckOptions())
        return;
    if (FecharJanelas(1) != 0) {
        sequence.Forward();
        Processar();
    }
}

void TProcTramor::Back()
{
    if (running)
        return;
    FecharJanelas(0);
    sequence.Backward();
    Processar();
}

int TProcTramor::Finish()
{
    running = true;
    // The procedure lets messages through: nothing may click or close the
    // wizard under it.
    if (pai != nullptr)
        EnableWindow(GetAncestor(pai->GetHandle(), GA_ROOT), FALSE);
    return Modo == 1 ? Install() : Uninstall();
}

int TProcTramor::Fail(const Status& status, const std::string& leftBehind)
{
    const std::string text = leftBehind.empty() ? status.Text() : status.Text() + "\n\n" + leftBehind;
    ShowMessage(Status::Failure(text, status.Caption(), status.Style()));
    return kFatalExitCode;
}

int TProcTramor::Install()
{
    EnterWorkFolder();
    std::string program;
    if (!working::ReadLine(layout::kProgramName, &program) || program.empty())
        return Fail(Status::Failure("The working file \"apend.se\" is missing from \"" + workFolder + "\".",
                                    "Error!"),
                    kNothingInstalled);

    // Everything that can be checked is checked before anything is written.
    std::string destination;
    Status status = install::CheckDestination(DirDest, workFolder, sysfolders::ProtectedFolders(), &destination);
    if (!status)
        return Fail(status, kNothingInstalled);
    status = install::CheckRecords(*listaDado, ModosInst);
    if (!status)
        return Fail(status, "");
    const std::string package = std::string(DirAtual) + "\\" + program;
    if (package.size() > kPathMax)
        return Fail(Status::Failure("The setup's path is longer than 511 characters.", "Error!"), kNothingInstalled);
    // The setup may have gone or changed since start-up checked it.
    if (!platform::FileExists(package.c_str()))
        return Fail(Status::Failure("The setup \"" + package + "\" is no longer there.", "Error!"), kNothingInstalled);
    status = startup::CheckSetupIntegrity(package.c_str());
    if (!status)
        return Fail(status, "");
    startup::CopyPath(DirDest, destination.c_str());

    const bool existed = platform::FolderExists(DirDest);
    status = TryMakePath(DirDest, sysfolders::DestinationAccess(destination));
    if (!status || !platform::ChangeFolder(DirDest))
        return Fail(DestinationRefuses(destination, "cannot be created"), kNothingInstalled);
    const std::string incomplete =
        "The installation is incomplete. What was installed so far stays in \"" + destination + "\".";
    if (!working::Write(layout::kModeFile, std::string(1, layout::kUninstallMark))) {
        // Nothing is left half-installed: a folder made just now goes again.
        LeaveDestination(destination, existed);
        return Fail(DestinationRefuses(destination, "cannot be written to"), kNothingInstalled);
    }
    // Installed into the folder it was started from, the setup stays as it is.
    status = TryCopyExe(DirAtual, program.c_str(), program.c_str());
    if (!status)
        return Fail(status, incomplete);
    startup::CopyPath(DirAtual, package.c_str());

    TApend apend(DirAtual);
    status = apend.Extract(layout::kScript);
    platform::RemoveFile(layout::kScript);
    if (!status)
        return Fail(status, incomplete);
    // Every member is registered, from the last: each is found by the
    // sizes of those behind it.
    const int N = listaDado->NDados();
    for (int i = N - 1; i >= 0; --i) {
        status = apend.Include(install::MemberName(*listaDado, i, ModosInst).c_str(), listaDado->TamComp(i));
        if (!status)
            return Fail(status, incomplete);
    }

    // Unattended, there is no dialog to show the progress or hear Cancel.
    TDProgresso* progress = dProg.get();
    if (progress != nullptr)
        progress->Texto1("Extracting file:");
    uint64_t VAtual = 0;
    std::string madeFolder;
    for (int i = N - 1; i >= 0; --i) {
        if (!install::Selected(*listaDado, i, ModosInst))
            continue;
        const char* arq = listaDado->Arq(i);
        // Files of one folder mostly follow each other: its folders are made once.
        const char* const slash = std::strrchr(arq, '\\');
        const std::string folder(arq, slash != nullptr ? slash - arq : 0);
        if (folder != madeFolder) {
            status = TryMakePath(arq);
            if (!status)
                return Fail(status, incomplete);
            madeFolder = folder;
        }
        if (progress != nullptr)
            progress->Texto2(arq);
        uint64_t written = 0;
        status = apend.Extract(arq, progress, &written);
        if (status.IsCanceled())
            return 0;
        if (!status) {
            // The file layer's word for a file it cannot create says little.
            const std::string why = status.Text() == "THuf"
                                        ? "the file cannot be created (another program may be using it, or the "
                                          "folder is read-only)"
                                        : status.Text();
            return Fail(Status::Failure("Can't install \"" + std::string(arq) + "\": " + why, status.Caption(),
                                        status.Style()),
                        incomplete);
        }
        if (written != listaDado->TamOrig(i))
            return Fail(Status::Failure("The setup is damaged: \"" + std::string(arq) + "\" comes out with " +
                                            std::to_string(written) + " bytes instead of " +
                                            std::to_string(listaDado->TamOrig(i)) +
                                            ".\nPlease download the setup again.",
                                        "Error!"),
                        incomplete);
        VAtual += listaDado->TamOrig(i);
        if (progress == nullptr)
            continue;
        progress->ValAtual(VAtual);
        progress->LetMessagesThrough();
        if (progress->IsCanceled() != 0)
            return 0;
    }
    if (progress != nullptr) {
        progress->Flush();
        progress->Destroy(IDCANCEL);
    }

    int code = 0;
    TProgramGroups grupo;
    code |= Report(grupo.CreateGroup(NomeGrupo));
    Retifica(NomeGrupo);
    if (!working::Write(layout::kUninstallData, layout::FormatUninstallData(NomeGrupo, DirDest)))
        code |= Report(Status::Failure("Can't write \"uninstall.s_\" in \"" + destination +
                                           "\": the application cannot be uninstalled.",
                                       "Error!"));
    for (int i = 0; i < N; ++i) {
        if (listaDado->Grupo(i))
            code |= Report(grupo.AddItem((destination + listaDado->Arq(i)).c_str(), listaDado->Nome(i)));
    }
    EnterWorkFolder();
    RemoveWorkingFiles(false, program);
    LeaveWorkFolder();
    const std::string uninstallItem = "Uninstall, " + sysfolders::WindowsFolder() + "\\SYSTEM\\shell32.dll, 58";
    code |= Report(grupo.AddItem((destination + program).c_str(), uninstallItem.c_str()));
    code |= Report(grupo.Close());
    int64_t modified = 0;
    uint64_t setupBytes = 0;
    platform::FileStamp(package.c_str(), &setupBytes, &modified);
    Normaliza(NomeGrupo);
    code |= Report(programs::Register(install::MakeProgramEntry(
        destination, program, appName, NomeGrupo, appPublisher, appVersion,
        install::SelectedBytes(*listaDado, ModosInst) + setupBytes, sysfolders::CommandInterpreter())));
    return code;
}

int TProcTramor::Uninstall()
{
    EnterWorkFolder();
    std::string program;
    working::ReadLine(layout::kProgramName, &program);
    // The relaunch left the uninstall data beside the copy it started.
    std::string start;
    working::ReadLine(layout::kStartFolder, &start);
    const std::string uninstallCopy = start + "\\" + layout::kUninstallCopy;
    platform::ChangeFolder(start.c_str());

    // Nothing is deleted on missing or damaged uninstall data.
    std::string data;
    std::string group;
    std::string destination;
    std::string error;
    if (start.empty() || !working::ReadAll(uninstallCopy.c_str(), &data, 4 * kPathSize))
        error = "it cannot be read";
    else
        layout::ParseUninstallData(data, &group, &destination, &error);
    if (!error.empty())
        return Fail(Status::Failure("The uninstallation data \"uninstall.se\" is missing or damaged: " + error + ".",
                                    "Error!"),
                    kNothingRemoved);
    startup::CopyPath(NomeGrupo, group.c_str());
    startup::CopyPath(DirDest, destination.c_str());
    Normaliza(NomeGrupo);

    // The tree is deleted under its resolved name: a drive root, the
    // system's folders or a link to them in disguise are refused.
    const std::string full = guard::FullFolder(DirDest, platform::CurrentFolder());
    const bool alreadyGone = !full.empty() && !platform::FolderExists(full.c_str());
    const std::string why = WhyNotDelete(full);
    if (!why.empty())
        return Fail(Status::Failure(why + ": the uninstaller does not delete it.", "Error!"), kNothingRemoved);

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
    const bool removed = !platform::FolderExists(full.c_str());
    if (removed && programs::Unregister(install::ProgramEntryKey(full)) && alreadyGone)
        Report(Status::Failure("The application was removed from \"" + full + "\" already: its entry in the list "
                               "of installed programs is removed too.",
                               "Notice!", kMbOk | kMbIconAsterisk));
    if (!removed)
        code |= Report(Status::Failure("Some files could not be removed from \"" + full +
                                           "\" (they may be in use or read-only).",
                                       "Error!"));
    EnterWorkFolder();
    RemoveWorkingFiles(false, program);
    // The relaunch's own folder: the data and the copy that runs (which the
    // system keeps while it runs).
    platform::ChangeFolder(start.c_str());
    RemoveWorkingFiles(true, program);
    LeaveWorkFolder();
    if (layout::IsRunFolder(start))
        platform::RemoveFolder(start.c_str());
    if (removed && !silent)
        MessageBoxExA(nullptr, "Uninstallation is completed.", "Notice!", MB_OK, 0);
    return code;
}
