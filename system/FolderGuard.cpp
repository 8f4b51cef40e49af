#include "FolderGuard.h"

#include "FileSys.h"

#include <cctype>

namespace guard {

namespace {

bool IsSeparator(char c)
{
    return c == '\\' || c == '/';
}

bool IsDrive(const std::string& path)
{
    return path.size() >= 2 && std::isalpha(static_cast<unsigned char>(path[0])) != 0 && path[1] == ':';
}

std::string Upper(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

// Splits at separators, leaving out empty parts.
std::vector<std::string> Parts(const std::string& path)
{
    std::vector<std::string> parts;
    std::string part;
    for (const char c : path) {
        if (IsSeparator(c)) {
            if (!part.empty())
                parts.push_back(part);
            part.clear();
        } else {
            part += c;
        }
    }
    if (!part.empty())
        parts.push_back(part);
    return parts;
}

// The root ("C:\" or "\\server\share\") and the rest of an absolute path;
// false when the path is not absolute.
bool SplitRoot(const std::string& path, std::string* root, std::string* rest)
{
    if (IsDrive(path) && path.size() >= 3 && IsSeparator(path[2])) {
        *root = Upper(path.substr(0, 2)) + "\\";
        *rest = path.substr(3);
        return true;
    }
    if (path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1])) {
        const std::vector<std::string> parts = Parts(path);
        if (parts.size() < 2)
            return false;
        *root = "\\\\" + parts[0] + "\\" + parts[1] + "\\";
        rest->clear();
        for (size_t i = 2; i < parts.size(); ++i)
            *rest += parts[i] + "\\";
        return true;
    }
    return false;
}

}  // namespace

std::string FullFolder(const std::string& path, const std::string& current)
{
    std::string text = path;
    // "\\?\" only switches off the parsing done below: take it off.
    if (text.size() >= 4 && IsSeparator(text[0]) && IsSeparator(text[1]) && text[2] == '?' && IsSeparator(text[3])) {
        text = text.substr(4);
        if (Upper(text.substr(0, 4)) == "UNC\\" || Upper(text.substr(0, 4)) == "UNC/")
            text = "\\\\" + text.substr(4);
    }
    // Devices ("\\.\") are no folders.
    if (text.size() >= 3 && IsSeparator(text[0]) && IsSeparator(text[1]) && text[2] == '.' &&
        (text.size() == 3 || IsSeparator(text[3])))
        return std::string();

    std::string currentRoot;
    std::string currentRest;
    if (!SplitRoot(current, &currentRoot, &currentRest))
        return std::string();

    std::string absolute;
    if (IsDrive(text) && !(text.size() >= 3 && IsSeparator(text[2]))) {
        // "C:name": relative to the current folder of that drive, which is
        // only known when it is the current drive.
        if (Upper(text.substr(0, 2)) + "\\" != currentRoot)
            return std::string();
        absolute = current + "\\" + text.substr(2);
    } else if (IsDrive(text) || (text.size() >= 2 && IsSeparator(text[0]) && IsSeparator(text[1]))) {
        absolute = text;
    } else if (!text.empty() && IsSeparator(text[0])) {
        absolute = currentRoot + text.substr(1);  // the current drive's root
    } else {
        absolute = current + "\\" + text;
    }

    std::string root;
    std::string rest;
    if (!SplitRoot(absolute, &root, &rest))
        return std::string();
    std::vector<std::string> kept;
    for (std::string part : Parts(rest)) {
        if (part == ".")
            continue;
        if (part == "..") {
            if (!kept.empty())
                kept.pop_back();  // above the root stays at the root
            continue;
        }
        while (!part.empty() && (part.back() == '.' || part.back() == ' '))
            part.pop_back();
        if (part.empty())
            continue;  // "..." and the like name the folder itself
        kept.push_back(part);
    }
    std::string full = root;
    for (const std::string& part : kept)
        full += part + "\\";
    return full;
}

// P: nothing inherited; OICI: passed on to folders and files below; IO:
// only to them. FA full access, GA all generic rights, 0x1200a9 read and
// execute (FILE_GENERIC_READ | FILE_GENERIC_EXECUTE); SY the system, BA
// administrators, CO the creator owner, BU users.
const char kProgramFilesAccess[] = "D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICIIO;GA;;;CO)(A;OICI;0x1200a9;;;BU)";

const char* DestinationAccess(bool elevated, const std::string& destination,
                              const std::vector<std::string>& programFiles)
{
    if (!elevated || destination.empty())
        return nullptr;
    for (const std::string& folder : programFiles) {
        if (!folder.empty() && IsWithin(destination, folder))
            return nullptr;
    }
    return kProgramFilesAccess;
}

bool IsWithin(const std::string& inner, const std::string& outer)
{
    const std::string in = Upper(inner);
    const std::string out = Upper(outer);
    return !out.empty() && in.compare(0, out.size(), out) == 0;
}

std::string WhyProtected(const std::string& fullFolder, const ProtectedFolders& protectedFolders)
{
    const std::string quoted = "\"" + fullFolder + "\"";
    if (fullFolder.empty())
        return "The folder cannot be found from its name";
    if (IsRootPath(fullFolder.c_str()))
        return quoted + " is the root of a drive or share";
    for (const std::string& tree : protectedFolders.trees) {
        if (!tree.empty() && (IsWithin(fullFolder, tree) || IsWithin(tree, fullFolder)))
            return quoted + " is part of the system (\"" + tree + "\")";
    }
    for (const std::string& folder : protectedFolders.folders) {
        if (!folder.empty() && IsWithin(folder, fullFolder))
            return quoted + " is, or holds, a folder of the system (\"" + folder + "\")";
    }
    return std::string();
}

}  // namespace guard
