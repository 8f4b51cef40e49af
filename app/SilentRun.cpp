#include "SilentRun.h"

#include "InstallRules.h"
#include "StartupRules.h"

#include "BoundedText.h"
#include "Limits.h"
#include "Status.h"

#include <string>

namespace {

// Shows why the arguments cannot be used, with the usage.
int Refuse(const std::string& why)
{
    ShowMessage(Status::Failure(Fault::kRefused, why + "\n\n" + cmdline::kUsage, "Error!"));
    return cmdline::kBadArguments;
}

}  // namespace

int SilentRun::Apply(char* NomeGrupo, char* DirDest, char* ModosInst) const
{
    const std::string limit = std::to_string(kPathMax) + " characters.";
    if (options.hasGroup && !startup::CopyPath(NomeGrupo, options.group.c_str()))
        return Refuse("The program group's name is longer than " + limit);
    if (options.hasDestination && !startup::CopyPath(DirDest, options.destination.c_str()))
        return Refuse("The destination folder is longer than " + limit);
    std::string letters;
    const Status offered = cmdline::ModeLetters(options.mode, ModosInst, &letters);
    if (!offered)
        return Refuse("Wrong arguments: " + offered.Text() + ".");
    text::CopyBounded(ModosInst, kModesSize, letters.c_str());
    // The options page's checks, on what the arguments or the script give.
    const Status status = install::CheckGroupName(NomeGrupo);
    if (status)
        return cmdline::kDone;
    if (options.hasGroup)
        return Refuse(status.Text());
    ShowMessage(status);
    return cmdline::kFailed;
}
