#include "StartMenuNames.h"

#include "FolderGuard.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace startmenu {

namespace {

std::string Trimmed(const std::string& text)
{
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos)
        return std::string();
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// The fields of an argument list, split at its commas.
std::vector<std::string> Fields(const std::string& text)
{
    std::vector<std::string> fields;
    size_t start = 0;
    for (;;) {
        const size_t comma = text.find(',', start);
        fields.push_back(Trimmed(text.substr(start, comma == std::string::npos ? std::string::npos : comma - start)));
        if (comma == std::string::npos)
            return fields;
        start = comma + 1;
    }
}

bool SameLetters(const std::string& a, const std::string& b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

}  // namespace

Item ParseItem(const std::string& arq, const std::string& nome)
{
    const std::vector<std::string> fields = Fields(nome);
    Item item;
    item.name = fields[0];
    if (item.name.empty()) {
        const size_t slash = arq.find_last_of("\\/");
        item.name = slash == std::string::npos ? arq : arq.substr(slash + 1);
        const size_t dot = item.name.rfind('.');
        if (dot != std::string::npos && dot > 0)
            item.name.resize(dot);
    }
    if (fields.size() > 1)
        item.icon = fields[1];
    if (fields.size() > 2 && !fields[2].empty()) {
        char* end = nullptr;
        const long index = std::strtol(fields[2].c_str(), &end, 10);
        if (*end == '\0' && index >= -65535 && index <= 65535)
            item.iconIndex = static_cast<int>(index);
    }
    return item;
}

std::string GroupFolder(const std::string& programs, const std::string& group)
{
    const std::string base = guard::FullFolder(programs, programs);
    // Only a relative name can stay below the programs folder.
    const bool absolute = (group.size() >= 2 && group[1] == ':') ||
                          (!group.empty() && (group[0] == '\\' || group[0] == '/'));
    if (base.empty() || absolute)
        return std::string();
    const std::string folder = guard::FullFolder(base + group, base);
    if (folder.size() <= base.size() || !guard::IsWithin(folder, base))
        return std::string();
    return folder;
}

std::string ShortcutFile(const std::string& groupFolder, const std::string& itemName)
{
    std::string name = itemName;
    for (char& c : name) {
        if (static_cast<unsigned char>(c) < 0x20 || std::strchr("\\/:*?\"<>|", c) != nullptr)
            c = '_';
    }
    return groupFolder + name + ".lnk";
}

bool IsOurs(const std::string& target, const std::string& destination)
{
    // A relative target would be taken as inside whatever folder it is
    // compared with.
    const bool drive = target.size() >= 3 && target[1] == ':' && (target[2] == '\\' || target[2] == '/');
    const bool share = target.size() >= 2 && (target[0] == '\\' || target[0] == '/') &&
                       (target[1] == '\\' || target[1] == '/');
    if (destination.empty() || (!drive && !share))
        return false;
    const std::string full = guard::FullFolder(target, destination);
    return full.size() > destination.size() && guard::IsWithin(full, destination);
}

bool IsFolderWindowClass(const std::string& windowClass)
{
    return windowClass == "CabinetWClass" || windowClass == "ExplorerWClass";
}

bool ShowsGroup(const std::string& title, const std::string& group)
{
    // A group below another is shown by its own folder's name.
    std::string name = group;
    while (!name.empty() && (name.back() == '\\' || name.back() == '/'))
        name.pop_back();
    const size_t slash = name.find_last_of("\\/");
    if (slash != std::string::npos)
        name.erase(0, slash + 1);
    if (name.empty() || title.size() < name.size())
        return false;
    const size_t at = title.size() - name.size();
    if (!SameLetters(title.substr(at), name))
        return false;
    return at == 0 || title[at - 1] == '\\' || title[at - 1] == '/';
}

}  // namespace startmenu
