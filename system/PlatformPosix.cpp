#include "Platform.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include <climits>
#include <cstdlib>

namespace platform {

std::string NativePath(const char* path)
{
    std::string native(path);
    for (char& c : native) {
        if (c == '\\')
            c = '/';
    }
    return native;
}

FILE* OpenFile(const char* path, const char* mode)
{
    return std::fopen(NativePath(path).c_str(), mode);
}

bool FileExists(const char* path)
{
    struct stat st {};
    return *path != '\0' && stat(NativePath(path).c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool FolderExists(const char* path)
{
    struct stat st {};
    return *path != '\0' && stat(NativePath(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool CreateFolder(const char* path, const char* /*access*/)
{
    return mkdir(NativePath(path).c_str(), 0777) == 0;
}

bool RemoveFolder(const char* path)
{
    std::string native = NativePath(path);
    while (native.size() > 1 && native.back() == '/')
        native.pop_back();
    struct stat st {};
    if (lstat(native.c_str(), &st) == 0 && S_ISLNK(st.st_mode))
        return unlink(native.c_str()) == 0;
    return rmdir(native.c_str()) == 0;
}

bool RemoveFile(const char* path)
{
    return unlink(NativePath(path).c_str()) == 0;
}

bool RenameFile(const char* from, const char* to)
{
    return std::rename(NativePath(from).c_str(), NativePath(to).c_str()) == 0;
}

bool ListFolder(const char* folder, std::vector<FolderEntry>* entries)
{
    entries->clear();
    std::string base = NativePath(folder);
    if (base.empty())
        base = ".";
    DIR* dir = opendir(base.c_str());
    if (dir == nullptr)
        return false;
    if (base.back() != '/')
        base += '/';
    while (const dirent* d = readdir(dir)) {
        const std::string name = d->d_name;
        if (name == "." || name == "..")
            continue;
        FolderEntry entry;
        entry.name = name;
        // The listing tells most kinds itself: one look-up less per file in
        // folders of thousands.
        if (d->d_type == DT_REG || d->d_type == DT_DIR || d->d_type == DT_LNK) {
            entry.link = d->d_type == DT_LNK;
            entry.folder = d->d_type == DT_DIR;
        } else {
            struct stat st {};
            if (lstat((base + name).c_str(), &st) != 0)
                continue;
            entry.link = S_ISLNK(st.st_mode);
            entry.folder = S_ISDIR(st.st_mode);
        }
        if (entry.link) {
            struct stat target {};
            entry.folder = stat((base + name).c_str(), &target) == 0 && S_ISDIR(target.st_mode);
        }
        entries->push_back(entry);
    }
    closedir(dir);
    return true;
}

bool SameFile(const char* a, const char* b)
{
    struct stat sa {};
    struct stat sb {};
    return stat(NativePath(a).c_str(), &sa) == 0 && stat(NativePath(b).c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

bool FileStamp(const char* path, uint64_t* size, int64_t* modified)
{
    struct stat st {};
    if (stat(NativePath(path).c_str(), &st) != 0)
        return false;
    *size = static_cast<uint64_t>(st.st_size);
    *modified = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    return true;
}

std::string LongPath(const std::string& path)
{
    return path;
}

bool IsLeadByte(unsigned char)
{
    return false;
}

std::string CurrentFolder()
{
    std::vector<char> buffer(4096);
    if (getcwd(buffer.data(), buffer.size()) == nullptr)
        return std::string();
    return std::string(buffer.data());
}

bool ChangeFolder(const char* path)
{
    return chdir(NativePath(path).c_str()) == 0;
}

bool IsLink(const char* path)
{
    struct stat st {};
    return *path != '\0' && lstat(NativePath(path).c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

std::string RealPath(const char* path)
{
    char resolved[PATH_MAX];
    return realpath(NativePath(path).c_str(), resolved) != nullptr ? std::string(resolved) : std::string();
}

}  // namespace platform
