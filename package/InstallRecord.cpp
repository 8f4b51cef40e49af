#include "InstallRecord.h"

#include "FolderGuard.h"
#include "Limits.h"
#include "SetupLayout.h"

#include <algorithm>
#include <set>
#include <utility>

namespace layout {

namespace {

bool KnownKind(char c)
{
    switch (static_cast<Written>(c)) {
    case Written::kParent:
    case Written::kDestination:
    case Written::kFolder:
    case Written::kSetupCopy:
    case Written::kFile:
    case Written::kGroup:
        return true;
    }
    return false;
}

bool HasControl(const std::string& text)
{
    return std::any_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20; });
}

size_t Depth(const std::string& name)
{
    return static_cast<size_t>(std::count_if(name.begin(), name.end(), [](char c) { return c == '\\' || c == '/'; }));
}

// The length of the drive or share root that begins a full folder, 0 when
// it has none.
size_t RootLength(const std::string& folder)
{
    if (folder.size() >= 3 && folder[1] == ':' && folder[2] == '\\')
        return 3;
    if (folder.compare(0, 2, "\\\\") != 0)
        return 0;
    const size_t server = folder.find('\\', 2);
    const size_t share = server == std::string::npos ? server : folder.find('\\', server + 1);
    return share == std::string::npos || share == server + 1 || server == 2 ? 0 : share + 1;
}

// Whether `folder` is a folder above `destination`, both in full form, the
// root excepted.
bool IsAbove(const std::string& folder, const std::string& destination)
{
    const size_t root = RootLength(folder);
    return root != 0 && folder.size() > root && folder.size() < destination.size() &&
           FoldCase(guard::FullFolder(folder, folder)) == FoldCase(folder) &&
           FoldCase(guard::FullFolder(destination, destination)) == FoldCase(destination) &&
           guard::IsWithin(destination, folder);
}

}  // namespace

std::string RecordHeader()
{
    return std::string(kRecordHeader) + "\r\n";
}

std::string RecordLine(const WrittenEntry& entry)
{
    std::string line(1, static_cast<char>(entry.kind));
    if (entry.kind != Written::kDestination)
        line += " " + entry.name;
    return line + "\r\n";
}

Status ParseRecord(const std::string& bytes, std::vector<WrittenEntry>* entries, size_t* skipped)
{
    entries->clear();
    size_t bad = 0;
    size_t at = 0;
    bool first = true;
    while (at < bytes.size()) {
        size_t stop = bytes.find('\n', at);
        const size_t next = stop == std::string::npos ? bytes.size() : stop + 1;
        if (stop == std::string::npos)
            stop = bytes.size();
        if (stop > at && bytes[stop - 1] == '\r')
            --stop;
        const std::string line = bytes.substr(at, stop - at);
        at = next;
        if (first) {
            if (line != kRecordHeader)
                return Status::Failure(Fault::kDamaged, "it is no record of an installation", "Error!");
            first = false;
            continue;
        }
        if (line.empty())
            continue;
        WrittenEntry entry;
        entry.kind = static_cast<Written>(line[0]);
        const bool bare = line.size() == 1;
        if (!KnownKind(line[0]) || (entry.kind == Written::kDestination) != bare ||
            (!bare && (line[1] != ' ' || line.size() == 2))) {
            ++bad;
            continue;
        }
        if (!bare)
            entry.name = line.substr(2);
        if (HasControl(entry.name) || entry.name.size() > kPathMax) {
            ++bad;
            continue;
        }
        entries->push_back(std::move(entry));
    }
    if (first)
        return Status::Failure(Fault::kDamaged, "it is empty", "Error!");
    if (skipped != nullptr)
        *skipped = bad;
    return Status();
}

std::string EntryKey(const WrittenEntry& entry)
{
    std::string name = FoldCase(entry.name);
    std::replace(name.begin(), name.end(), '/', '\\');
    return static_cast<char>(entry.kind) + name;
}

Removal MayDelete(const WrittenEntry& entry, const std::string& destination)
{
    switch (entry.kind) {
    case Written::kDestination:
        return Removal::kIfEmpty;
    case Written::kParent:
        return !destination.empty() && IsAbove(entry.name, destination) ? Removal::kIfEmpty : Removal::kKeep;
    case Written::kGroup:
        return entry.name.empty() || HasControl(entry.name) ? Removal::kKeep : Removal::kDeleteGroup;
    case Written::kFolder:
    case Written::kSetupCopy:
    case Written::kFile:
        break;
    }
    if (!IsContainedName(entry.name) || entry.name.size() > kPathMax || HasControl(entry.name))
        return Removal::kKeep;
    return entry.kind == Written::kFolder ? Removal::kIfEmpty : Removal::kDelete;
}

std::vector<std::string> FoldersAbove(const std::string& destination)
{
    std::vector<std::string> above;
    const size_t root = RootLength(destination);
    if (root == 0 || FoldCase(guard::FullFolder(destination, destination)) != FoldCase(destination))
        return above;
    for (size_t cut = destination.find('\\', root); cut != std::string::npos && cut + 1 < destination.size();
         cut = destination.find('\\', cut + 1))
        above.push_back(destination.substr(0, cut + 1));
    return above;
}

RemovalPlan PlanRemoval(const std::vector<WrittenEntry>& entries, const std::string& destination)
{
    RemovalPlan plan;
    std::set<std::string> seen;
    for (const WrittenEntry& entry : entries) {
        // A setup copy is a file like the others once it is to go.
        WrittenEntry as = entry;
        if (as.kind == Written::kSetupCopy)
            as.kind = Written::kFile;
        if (!seen.insert(EntryKey(as)).second)
            continue;
        switch (MayDelete(entry, destination)) {
        case Removal::kDelete:
            plan.files.push_back(entry.name);
            break;
        case Removal::kIfEmpty:
            if (entry.kind == Written::kDestination)
                plan.destination = true;
            else if (entry.kind == Written::kParent)
                plan.parents.push_back(entry.name);
            else
                plan.folders.push_back(entry.name);
            break;
        case Removal::kDeleteGroup:
            plan.groups.push_back(entry.name);
            break;
        case Removal::kKeep:
            plan.kept.push_back(entry);
            break;
        }
    }
    const auto deeper = [](const std::string& a, const std::string& b) { return Depth(a) > Depth(b); };
    std::stable_sort(plan.folders.begin(), plan.folders.end(), deeper);
    std::stable_sort(plan.parents.begin(), plan.parents.end(), deeper);
    return plan;
}

std::vector<WrittenEntry> OwnEntries()
{
    std::vector<WrittenEntry> own;
    for (const char* name : {kModeFile, kUninstallData, kInstallRecord, kScript, kMemberTemp})
        own.push_back({Written::kFile, name});
    return own;
}

std::vector<WrittenEntry> EntriesOfScript(const std::vector<std::string>& names, const std::string& program)
{
    std::vector<WrittenEntry> entries{{Written::kDestination, ""}};
    if (!program.empty())
        entries.push_back({Written::kSetupCopy, program});
    for (const std::string& name : names) {
        entries.push_back({Written::kFile, name});
        for (size_t cut = name.find_first_of("\\/"); cut != std::string::npos; cut = name.find_first_of("\\/", cut + 1))
            entries.push_back({Written::kFolder, name.substr(0, cut)});
    }
    return entries;
}

std::vector<WrittenEntry> Superseded(const std::vector<WrittenEntry>& earlier, const std::vector<WrittenEntry>& written)
{
    std::set<std::string> kept;
    for (WrittenEntry entry : written) {
        // Written as a file or as the setup copy, a name stays.
        if (entry.kind == Written::kSetupCopy)
            entry.kind = Written::kFile;
        kept.insert(EntryKey(entry));
    }
    std::vector<WrittenEntry> gone;
    std::set<std::string> listed;
    for (const WrittenEntry& entry : earlier) {
        WrittenEntry as = entry;
        if (as.kind == Written::kSetupCopy)
            as.kind = Written::kFile;
        const bool removable = as.kind == Written::kFile || as.kind == Written::kGroup;
        if (removable && kept.count(EntryKey(as)) == 0 && listed.insert(EntryKey(as)).second)
            gone.push_back(entry);
    }
    return gone;
}

}  // namespace layout
