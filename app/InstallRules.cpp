#include "InstallRules.h"

#include "BoundedText.h"
#include "Crc32.h"
#include "GroupCommand.h"
#include "Limits.h"
#include "NameRules.h"
#include "Platform.h"
#include "SetupLayout.h"
#include "TListaDado.h"

#include <map>
#include <vector>

namespace install {

bool Selected(const TListaDado& list, int i, const char* modos)
{
    return (list.Ful(i) && modos[0] == 'F') || (list.Typ(i) && modos[1] == 'T') || (list.Min(i) && modos[2] == 'M');
}

uint64_t SelectedBytes(const TListaDado& list, const char* modos)
{
    uint64_t total = 0;
    for (int i = 0; i < list.NDados(); ++i) {
        if (Selected(list, i, modos))
            total += list.TamOrig(i);
    }
    return total;
}

std::string MemberName(const TListaDado& list, int i, const char* modos)
{
    return Selected(list, i, modos) ? std::string(list.Arq(i)) : "?record " + std::to_string(i);
}

Status CheckRecords(const TListaDado& list, const char* modos)
{
    const auto refuse = [](int i, const std::string& name, const std::string& why) {
        return Status::Failure(Fault::kDamaged,
                               "The setup is damaged: file " + std::to_string(i + 1) + " (\"" + name + "\") " + why +
                                   ".\nNothing has been installed.",
                               "Error!");
    };
    std::map<std::string, int> installed;  // folded name -> record
    for (int i = 0; i < list.NDados(); ++i) {
        const bool selected = Selected(list, i, modos);
        if (!selected && !list.Grupo(i))
            continue;
        const std::string name = list.Arq(i);
        std::string why = names::WhyNotRecordPath(name);
        if (!why.empty())
            return refuse(i, name, why);
        if (selected && layout::IsReservedName(name))
            return refuse(i, name, "would replace a file the setup keeps for the uninstaller");
        if (list.Grupo(i) && !(why = names::WhyNotItemTitle(list.Nome(i))).empty())
            return refuse(i, name, "has a program item title that " + why);
        if (selected && !installed.emplace(layout::FoldCase(name), i).second)
            return refuse(i, name, "has the name of file " + std::to_string(installed[layout::FoldCase(name)] + 1));
    }
    return Status();
}

Status CheckItemCommands(const TListaDado& list, const std::string& destination, const std::string& program,
                         const std::string& uninstallTitle)
{
    const auto refuse = [&destination](const std::string& what) {
        return Status::Failure(Fault::kRefused,
                               "The program item of " + what + " does not fit the program group's command (" +
                                   std::to_string(groupcommand::kMaxCommandLength) +
                                   " characters) with the destination folder \"" + destination +
                                   "\".\nChoose a shorter destination folder.",
                               "Error!");
    };
    groupcommand::CommandBuffer command;
    for (int i = 0; i < list.NDados(); ++i) {
        if (list.Grupo(i) && !groupcommand::AddItem(command, (destination + list.Arq(i)).c_str(), list.Nome(i)))
            return refuse("file " + std::to_string(i + 1) + " (\"" + std::string(list.Arq(i)) + "\")");
    }
    if (!groupcommand::AddItem(command, (destination + program).c_str(), uninstallTitle.c_str()))
        return refuse("\"Uninstall\"");
    return Status();
}

Status CheckGroupName(const std::string& group)
{
    if (group.empty())
        return Status::Failure(Fault::kRefused, "Please type the name of the program group.", "Installation Options");
    const std::string why = names::WhyNotGroupName(group);
    if (!why.empty())
        return Status::Failure(Fault::kRefused, "The program group's name " + why + ".\nPlease choose another name.",
                               "Installation Options");
    return Status();
}

Status CheckDestination(const std::string& typed, const std::string& current,
                        const guard::ProtectedFolders& protectedFolders, std::string* full)
{
    full->clear();
    const auto refuse = [](const std::string& why) {
        return Status::Failure(Fault::kRefused, why + "\nPlease choose another destination folder.",
                               "Installation Options");
    };
    const bool drive = typed.size() >= 3 && typed[1] == ':' && (typed[2] == '\\' || typed[2] == '/');
    const bool share = typed.size() >= 2 && (typed[0] == '\\' || typed[0] == '/') &&
                       (typed[1] == '\\' || typed[1] == '/');
    if (!drive && !share)
        return refuse("The destination folder \"" + typed +
                      "\" is not a full path (such as C:\\Program Files\\App\\).");
    // Checked and kept under its long name: "C:\PROGRA~1\" is Program Files.
    const std::string written = guard::FullFolder(typed, current);
    const std::string folder = written.empty() ? written : guard::FullFolder(platform::LongPath(written), current);
    if (folder.empty())
        return refuse("The destination folder \"" + typed + "\" cannot be used.");
    const std::string why = guard::WhyProtected(folder, protectedFolders);
    if (!why.empty())
        return refuse(why +
                      ": it cannot be the destination folder, because uninstalling deletes the destination folder with "
                      "everything in it.");
    if (folder.size() > kPathMax)
        return refuse("The destination folder \"" + typed + "\" is too long.");
    const std::string name = names::WhyNotDestination(folder);
    if (!name.empty())
        return refuse("The destination folder \"" + folder + "\" " + name + ".");
    *full = folder;
    return Status();
}

bool HoldsOtherFiles(const std::string& folder)
{
    std::vector<platform::FolderEntry> entries;
    if (!platform::FolderExists(folder.c_str()) || !platform::ListFolder(folder.c_str(), &entries))
        return false;
    const std::string data = layout::FoldCase(layout::kUninstallData);
    for (const platform::FolderEntry& entry : entries) {
        if (!entry.folder && layout::FoldCase(entry.name) == data)
            return false;
    }
    return !entries.empty();
}

std::string OtherFilesWarning(const std::string& folder, bool question)
{
    const std::string said = "The folder \"" + folder + "\" already holds files.";
    const std::string kept = "Uninstalling will remove only what this setup installs; the files already there stay.";
    if (question)
        return said + "\nInstall into it all the same?\n\n" + kept;
    return said + " The installation goes on into it. " + kept;
}

std::string ProgramEntryKey(const std::string& destination)
{
    const std::string folded = layout::FoldCase(destination);
    return "Kelvo-" + text::Hex8(Crc32(folded.data(), folded.size()));
}

ProgramEntry MakeProgramEntry(const std::string& destination, const std::string& program, const std::string& name,
                              const std::string& group, const std::string& publisher, const std::string& version,
                              uint64_t bytes, const std::string& shell)
{
    ProgramEntry entry;
    entry.key = ProgramEntryKey(destination);
    entry.displayName = name.empty() ? group : name;
    entry.publisher = publisher;
    entry.version = version;
    entry.location = destination;
    entry.icon = destination + program + ",0";
    entry.uninstall = "\"" + shell + "\" /c cd /d \"" + destination + "\" && \"" + program + "\"";
    entry.quietUninstall = entry.uninstall + " /S";
    const uint64_t kb = (bytes + 1023) / 1024;
    entry.sizeKb = kb > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(kb);
    return entry;
}

}  // namespace install
