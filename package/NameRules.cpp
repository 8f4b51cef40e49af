#include "NameRules.h"

#include "GroupCommand.h"
#include "Limits.h"
#include "SetupLayout.h"

#include <cstring>

namespace names {

// "[CreateGroup(" and ")]" take 15 of the command's characters.
const size_t kGroupNameMax = groupcommand::kMaxCommandLength - (sizeof "[CreateGroup()]" - 1);

namespace {

// What a shell folder's name cannot hold, beyond the control characters
// and what the group command itself refuses.
const char kFolderRefuses[] = "\\/:*?<>|";
// What no name in a Windows path may hold.
const char kNameRefuses[] = "<>:\"/\\|?*";

bool IsControl(char c)
{
    return static_cast<unsigned char>(c) < 0x20 || c == 0x7F;
}

std::string Shown(char c)
{
    return IsControl(c) ? std::string("a control character") : "\"" + std::string(1, c) + "\"";
}

// The rules a group's name and an item's title share: they are sent to the
// service as a bare argument, stored in their stored form, and name a
// folder or a file of the Start Menu. `end` says whether a dot or a blank
// may end it.
std::string WhyNotShellName(const std::string& name, bool end)
{
    if (name.empty())
        return "is empty";
    if (name[0] == ' ')
        return "begins with a blank, which the setup cannot keep";
    if (name.find('@') != std::string::npos)
        return "cannot hold \"@\": the setup stores blanks as \"@\" and would read it back as a blank";
    char bad = 0;
    if (!layout::IsCommandSafe(name, &bad))
        return "cannot hold " + Shown(bad) + (IsControl(bad) ? "" : ": it would break the program group's command");
    const size_t refused = name.find_first_of(kFolderRefuses);
    if (refused != std::string::npos)
        return "cannot hold " + Shown(name[refused]) + ", which Windows does not allow in a name";
    if (end && (name.back() == '.' || name.back() == ' '))
        return std::string("ends with a ") + (name.back() == '.' ? "dot" : "blank") +
               ", which Windows drops from a name";
    if (IsDeviceName(name))
        return "is \"" + name + "\", a name Windows reserves for a device";
    return std::string();
}

// Why one name of a path (between backslashes) is not kept as written.
std::string WhyNotPathName(const std::string& name)
{
    if (name.empty())
        return "holds an empty folder name (two backslashes, or one at the end)";
    if (name == "." || name == "..")
        return "holds \"" + name + "\", which Windows takes for another folder";
    for (const char c : name) {
        if (IsControl(c) || std::strchr(kNameRefuses, c) != nullptr)
            return "holds " + Shown(c) + ", which Windows does not allow in a name";
    }
    if (name.back() == '.' || name.back() == ' ')
        return "holds the name \"" + name + "\", which ends with a " + (name.back() == '.' ? "dot" : "blank") +
               " that Windows drops";
    if (IsDeviceName(name))
        return "holds \"" + name + "\", a name Windows reserves for a device";
    return std::string();
}

// The first reason any name of `path` from `start` on gives, split at
// backslashes.
std::string WhyNotNames(const std::string& path, size_t start)
{
    for (;;) {
        const size_t slash = path.find('\\', start);
        const std::string why = WhyNotPathName(path.substr(start, slash == std::string::npos ? slash : slash - start));
        if (!why.empty() || slash == std::string::npos)
            return why;
        start = slash + 1;
    }
}

}  // namespace

bool IsDeviceName(const std::string& name)
{
    std::string base = layout::FoldCase(name.substr(0, name.find('.')));
    while (!base.empty() && base.back() == ' ')
        base.pop_back();
    static const char* const kDevices[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
    for (const char* device : kDevices) {
        if (base == device)
            return true;
    }
    if (base.size() != 4 || (base.compare(0, 3, "COM") != 0 && base.compare(0, 3, "LPT") != 0))
        return false;
    const auto digit = static_cast<unsigned char>(base[3]);
    // Superscript one, two and three of code page 1252 count as digits too.
    return (digit >= '1' && digit <= '9') || digit == 0xB9 || digit == 0xB2 || digit == 0xB3;
}

std::string WhyNotGroupName(const std::string& group)
{
    const std::string why = WhyNotShellName(group, true);
    if (!why.empty())
        return why;
    if (group.size() > kGroupNameMax)
        return "has " + std::to_string(group.size()) + " characters; the program group's command holds at most " +
               std::to_string(kGroupNameMax);
    return std::string();
}

std::string WhyNotItemTitle(const std::string& title)
{
    const std::string why = WhyNotShellName(title, false);
    if (!why.empty())
        return why;
    if (title.size() > kItemTitleMax)
        return "has " + std::to_string(title.size()) + " characters; the setup holds titles of at most " +
               std::to_string(kItemTitleMax);
    return std::string();
}

std::string WhyNotRecordPath(const std::string& path)
{
    if (path.empty())
        return "is empty: a path names a file inside the destination folder, never the folder itself or anything "
               "outside the destination folder";
    if (path[0] == '\\' || path[0] == '/')
        return "begins with a backslash, which would lead outside the destination folder";
    if (path.size() >= 2 && path[1] == ':')
        return "names a drive, which would lead outside the destination folder";
    // Both separators lead somewhere on Windows: no name between them may
    // leave the folder, whatever the rest says.
    for (size_t start = 0;;) {
        const size_t cut = path.find_first_of("\\/", start);
        const std::string part = path.substr(start, cut == std::string::npos ? cut : cut - start);
        if (part == "." || part == "..")
            return "holds \"" + part + "\", which would lead outside the destination folder";
        if (cut == std::string::npos)
            break;
        start = cut + 1;
    }
    if (path.find('@') != std::string::npos)
        return "holds \"@\", which the setup would read back as a blank";
    const std::string why = WhyNotNames(path, 0);
    if (!why.empty())
        return why;
    if (path.size() > kMemberNameMax)
        return "has " + std::to_string(path.size()) + " characters; the setup's file table holds names of at most " +
               std::to_string(kMemberNameMax);
    return std::string();
}

std::string WhyNotDestination(const std::string& folder)
{
    size_t start = 0;
    if (folder.size() >= 3 && folder[1] == ':' && folder[2] == '\\') {
        start = 3;
    } else if (folder.size() >= 2 && folder[0] == '\\' && folder[1] == '\\') {
        // "\\server\share\": the server and the share are the root.
        const size_t server = folder.find('\\', 2);
        const size_t share = server == std::string::npos ? server : folder.find('\\', server + 1);
        if (server == 2 || share == std::string::npos || share == server + 1)
            return "is no full path of a folder";
        start = share + 1;
    } else {
        return "is no full path of a folder";
    }
    if (folder.back() != '\\')
        return "does not end with a backslash";
    if (folder.size() > kPathMax)
        return "has " + std::to_string(folder.size()) + " characters; the setup's paths hold at most " +
               std::to_string(kPathMax);
    if (start == folder.size())
        return std::string();
    return WhyNotNames(folder.substr(0, folder.size() - 1), start);
}

}  // namespace names
