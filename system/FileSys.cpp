#include "FileSys.h"

#include "File.h"
#include "PathSplit.h"
#include "Platform.h"
#include "Report.h"

#include <cstring>
#include <string>
#include <vector>

namespace {

bool IsSeparator(char c)
{
    return c == '\\' || c == '/';
}

bool IsLetter(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// Replaces `from` by `to` in s, never touching the first character.
void ReplaceAfterFirst(char* s, char from, char to)
{
    for (size_t i = std::strlen(s); i-- > 1;) {
        if (s[i] == from)
            s[i] = to;
    }
}

}  // namespace

void Retifica(char* s)
{
    ReplaceAfterFirst(s, ' ', '@');
}

void Normaliza(char* s)
{
    ReplaceAfterFirst(s, '@', ' ');
}

void Rectify(char* file, const char* nomeArq, size_t fileSize)
{
    if (fileSize == 0)
        return;
    // A trail byte of a double-byte character is no separator.
    const size_t separator = pathsplit::LastSeparator(nomeArq, &platform::IsLeadByte);
    const char* name = separator == std::string::npos ? nomeArq : nomeArq + separator + 1;
    size_t length = std::strlen(name);
    if (length > fileSize - 1)
        length = fileSize - 1;
    // The name may lie inside `file` itself.
    std::memmove(file, name, length);
    file[length] = '\0';
}

void CopyExe(const char* dirAtual, const char* orig, const char* dest)
{
    const Status status = TryCopyExe(dirAtual, orig, dest);
    if (!status)
        FatalMessage(status);
}

Status TryCopyExe(const char* dirAtual, const char* orig, const char* dest)
{
    const std::string source = std::string(dirAtual) + "\\" + orig;
    // Opening the destination would empty the very file we are to read.
    if (platform::SameFile(source.c_str(), dest))
        return Status();

    const Status unreadable = Status::Failure(Fault::kUnreadable, "is -> bad() || !is -> good()", "CopyExe", kMbOk);
    const Status unwritable = Status::Failure(Fault::kCannotWrite, "Can't write \"" + std::string(dest) + "\"!",
                                              "CopyExe", kMbOk);
    File in(source.c_str(), "rb");
    File out(dest, "wb");  // created or emptied before the source is checked
    if (!in.IsOpen() || in.Failed())
        return unreadable;
    if (!out.IsOpen())
        return Status::Failure(Fault::kCannotCreate, unwritable.Text(), unwritable.Caption(), unwritable.Style());

    std::vector<char> block(size_t(64) * 1024);
    bool written = true;
    for (;;) {
        const size_t n = in.Read(block.data(), block.size());
        if (n > 0 && !out.Write(block.data(), n)) {
            written = false;
            break;
        }
        if (n < block.size())
            break;
    }
    const bool readFailed = in.Failed();
    written = out.Close() && written;
    if (written && !readFailed)
        return Status();
    platform::RemoveFile(dest);
    return readFailed ? unreadable : unwritable;
}

void MakePath(const char* path)
{
    TryMakePath(path);
}

Status TryMakePath(const char* path, const char* access)
{
    const std::string whole(path);
    const size_t length = whole.size();
    size_t i = 0;
    if (length >= 2 && whole[0] == '\\' && whole[1] == '\\') {
        // "\\server\share\" is there or not: nothing of it can be created.
        size_t separators = 0;
        while (i < length && separators < 4)
            separators += whole[i++] == '\\' ? 1 : 0;
    }
    for (; i < length; ++i) {
        if (whole[i] == ':') {
            i += 2;  // a drive root's backslash never names a folder to create
        } else if (platform::IsLeadByte(static_cast<unsigned char>(whole[i]))) {
            ++i;  // its trail byte may be 0x5C and is no separator
        } else if (whole[i] == '\\' && i > 0) {
            const std::string folder = whole.substr(0, i);
            if (!platform::CreateFolder(folder.c_str(), access) && !platform::FolderExists(folder.c_str()))
                return Status::Failure(Fault::kCannotCreate, "Can't create the folder \"" + folder + "\".", "Error!");
        }
    }
    return Status();
}

namespace {

const char* SkipSeparators(const char* p)
{
    while (IsSeparator(*p))
        ++p;
    return p;
}

const char* SkipName(const char* p)
{
    while (*p != '\0' && !IsSeparator(*p))
        ++p;
    return p;
}

}  // namespace

bool IsRootPath(const char* path)
{
    const char* rest = path;
    if (IsSeparator(rest[0]) && IsSeparator(rest[1])) {
        rest += 2;
        // "\\?\" and "\\.\" lead to a drive or, after "UNC", a share.
        if ((rest[0] == '?' || rest[0] == '.') && IsSeparator(rest[1])) {
            rest += 2;
            if ((rest[0] == 'U' || rest[0] == 'u') && (rest[1] == 'N' || rest[1] == 'n') &&
                (rest[2] == 'C' || rest[2] == 'c') && IsSeparator(rest[3]))
                rest += 4;
            else
                return IsRootPath(rest);
        }
        // "\\server\share" is the root of a whole share.
        rest = SkipName(SkipSeparators(rest));
        rest = SkipName(SkipSeparators(rest));
        return *SkipSeparators(rest) == '\0';
    }
    if (IsLetter(rest[0]) && rest[1] == ':')
        rest += 2;
    else if (*rest == '\0')
        return true;  // the empty path names the current folder
    return *SkipSeparators(rest) == '\0';
}

void DelTree(const char* path)
{
    if (IsRootPath(path))
        return;
    std::string folder(path);
    // A trail byte 0x5C at the end is part of the last name, no separator.
    if (folder.back() != '/' && pathsplit::LastSeparator(folder, &platform::IsLeadByte) != folder.size() - 1)
        folder += '\\';

    std::vector<platform::FolderEntry> entries;
    platform::ListFolder(folder.c_str(), &entries);
    for (const platform::FolderEntry& entry : entries) {
        const std::string child = folder + entry.name;
        if (entry.link) {
            // Remove the link itself; what it leads to belongs to another
            // tree. Some systems remove a link to a folder only as a file.
            if (!entry.folder || !platform::RemoveFolder(child.c_str()))
                platform::RemoveFile(child.c_str());
        } else if (entry.folder) {
            DelTree((child + "\\").c_str());
        } else {
            platform::RemoveFile(child.c_str());
        }
    }
    platform::RemoveFolder(folder.c_str());
}
