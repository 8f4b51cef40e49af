#include "RecordedRemoval.h"

#include "Platform.h"

namespace install {

namespace {

// Whether a folder on the way to `name` below `folder` is a link.
bool ThroughLink(const std::string& folder, const std::string& name)
{
    for (size_t cut = name.find_first_of("\\/"); cut != std::string::npos; cut = name.find_first_of("\\/", cut + 1)) {
        if (platform::IsLink((folder + name.substr(0, cut)).c_str()))
            return true;
    }
    return false;
}

void Collect(const std::string& folder, const std::string& below, size_t max, std::vector<std::string>* names,
             size_t* more, int depth)
{
    std::vector<platform::FolderEntry> entries;
    if (!platform::ListFolder((folder + below).c_str(), &entries))
        return;
    if (entries.empty() && !below.empty()) {
        if (names->size() < max)
            names->push_back(below);
        else
            ++*more;
        return;
    }
    for (const platform::FolderEntry& entry : entries) {
        const std::string name = below + entry.name;
        // Deep trees are named by their folder.
        if (entry.folder && !entry.link && depth < 16) {
            Collect(folder, name + "\\", max, names, more, depth + 1);
            continue;
        }
        if (names->size() < max)
            names->push_back(entry.folder ? name + "\\" : name);
        else
            ++*more;
    }
}

}  // namespace

RemovalOutcome RemoveRecorded(const std::string& folder, const layout::RemovalPlan& plan)
{
    RemovalOutcome outcome;
    for (const std::string& name : plan.files) {
        const std::string path = folder + name;
        if (ThroughLink(folder, name) || !platform::FileExists(path.c_str()))
            continue;
        if (!platform::RemoveFile(path.c_str()) && platform::FileExists(path.c_str()))
            outcome.failed.push_back(name);
    }
    for (const std::string& name : plan.folders) {
        if (!ThroughLink(folder, name))
            platform::RemoveFolder((folder + name).c_str());
    }
    if (plan.destination)
        platform::RemoveFolder(folder.c_str());
    outcome.destinationRemoved = !platform::FolderExists(folder.c_str());
    // What lies above a destination that stays holds it still.
    if (outcome.destinationRemoved)
        outcome.parentsLeft = RemoveParents(plan.parents);
    return outcome;
}

std::vector<std::string> RemoveParents(const std::vector<std::string>& parents)
{
    std::vector<std::string> left;
    for (const std::string& parent : parents) {
        if (!platform::FolderExists(parent.c_str()))
            continue;
        // A link there now was put by someone else. Asked without its
        // backslash, a link is not taken for what it leads to.
        const std::string bare = parent.substr(0, parent.find_last_not_of("\\/") + 1);
        if (!platform::IsLink(bare.c_str()))
            platform::RemoveFolder(parent.c_str());
        if (platform::FolderExists(parent.c_str()))
            left.push_back(parent);
    }
    return left;
}

std::vector<std::string> WhatIsLeft(const std::string& folder, size_t max, size_t* more)
{
    std::vector<std::string> names;
    *more = 0;
    Collect(folder, "", max, &names, more, 0);
    return names;
}

std::string ListForMessage(const std::vector<std::string>& names, size_t more)
{
    std::string line;
    for (size_t i = 0; i < names.size(); ++i) {
        if (i > 0)
            line += i + 1 == names.size() && more == 0 ? " and " : ", ";
        line += "\"" + names[i] + "\"";
    }
    if (more > 0)
        line += " and " + std::to_string(more) + " more";
    return line;
}

}  // namespace install
