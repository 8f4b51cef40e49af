#include "Platform.h"

#include <windows.h>
#include <sddl.h>

namespace platform {

std::string NativePath(const char* path)
{
    return std::string(path);
}

FILE* OpenFile(const char* path, const char* mode)
{
    return std::fopen(path, mode);
}

static DWORD Attributes(const char* path)
{
    return *path == '\0' ? INVALID_FILE_ATTRIBUTES : GetFileAttributesA(path);
}

bool FileExists(const char* path)
{
    const DWORD attributes = Attributes(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool FolderExists(const char* path)
{
    const DWORD attributes = Attributes(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool CreateFolder(const char* path, const char* access)
{
    if (access == nullptr)
        return CreateDirectoryA(path, nullptr) != 0;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(access, SDDL_REVISION_1, &descriptor, nullptr))
        return false;
    SECURITY_ATTRIBUTES attributes = {sizeof attributes, descriptor, FALSE};
    const bool made = CreateDirectoryA(path, &attributes) != 0;
    LocalFree(descriptor);
    return made;
}

bool RemoveFolder(const char* path)
{
    // Removing a junction removes the link, never what it points to.
    return RemoveDirectoryA(path) != 0;
}

bool RemoveFile(const char* path)
{
    return DeleteFileA(path) != 0;
}

bool RenameFile(const char* from, const char* to)
{
    return MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING) != 0;
}

bool ListFolder(const char* folder, std::vector<FolderEntry>* entries)
{
    entries->clear();
    std::string pattern(folder);
    if (!pattern.empty() && pattern.back() != '\\' && pattern.back() != ':')
        pattern += '\\';
    pattern += "*.*";
    WIN32_FIND_DATAA data;
    HANDLE search = FindFirstFileA(pattern.c_str(), &data);
    if (search == INVALID_HANDLE_VALUE)
        return GetLastError() == ERROR_FILE_NOT_FOUND;
    do {
        const std::string name = data.cFileName;
        if (name == "." || name == "..")
            continue;
        FolderEntry entry;
        entry.name = name;
        entry.folder = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        entry.link = (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
        entries->push_back(entry);
    } while (FindNextFileA(search, &data));
    FindClose(search);
    return true;
}

namespace {

// Owns one file handle opened only to ask for its identity.
class QueryHandle {
public:
    explicit QueryHandle(const char* path)
        : handle_(CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                              FILE_FLAG_BACKUP_SEMANTICS, nullptr))
    {
    }
    ~QueryHandle()
    {
        if (handle_ != INVALID_HANDLE_VALUE)
            CloseHandle(handle_);
    }
    QueryHandle(const QueryHandle&) = delete;
    QueryHandle& operator=(const QueryHandle&) = delete;

    bool Identity(BY_HANDLE_FILE_INFORMATION* info) const
    {
        return handle_ != INVALID_HANDLE_VALUE && GetFileInformationByHandle(handle_, info) != 0;
    }

private:
    HANDLE handle_;
};

}  // namespace

bool SameFile(const char* a, const char* b)
{
    BY_HANDLE_FILE_INFORMATION ia;
    BY_HANDLE_FILE_INFORMATION ib;
    if (!QueryHandle(a).Identity(&ia) || !QueryHandle(b).Identity(&ib))
        return false;
    return ia.dwVolumeSerialNumber == ib.dwVolumeSerialNumber && ia.nFileIndexHigh == ib.nFileIndexHigh &&
           ia.nFileIndexLow == ib.nFileIndexLow;
}

bool FileStamp(const char* path, uint64_t* size, int64_t* modified)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path, GetFileExInfoStandard, &data))
        return false;
    *size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    *modified = static_cast<int64_t>((static_cast<uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) |
                                     data.ftLastWriteTime.dwLowDateTime);
    return true;
}

std::string LongPath(const std::string& path)
{
    // The longest part that exists is looked up; the rest follows as typed.
    // A drive root has no long name of its own.
    size_t end = path.size();
    while (end > 3) {
        const std::string head = path.substr(0, end);
        char buffer[1024];
        const DWORD n = GetLongPathNameA(head.c_str(), buffer, sizeof buffer);
        if (n > 0 && n < sizeof buffer)
            return std::string(buffer, n) + path.substr(end);
        const size_t slash = path.rfind('\\', end - 1);
        if (slash == std::string::npos)
            break;
        end = slash;
    }
    return path;
}

bool IsLeadByte(unsigned char c)
{
    return IsDBCSLeadByte(c) != FALSE;
}

std::string CurrentFolder()
{
    char buffer[MAX_PATH + 1];
    const DWORD n = GetCurrentDirectoryA(sizeof buffer, buffer);
    if (n == 0 || n >= sizeof buffer)
        return std::string();
    return std::string(buffer, n);
}

bool ChangeFolder(const char* path)
{
    return SetCurrentDirectoryA(path) != 0;
}

bool IsLink(const char* path)
{
    const DWORD attributes = Attributes(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

std::string RealPath(const char* path)
{
    // Looked up, not linked: systems before Vista lack it.
    using FinalPathFn = DWORD(WINAPI*)(HANDLE, LPSTR, DWORD, DWORD);
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    const FARPROC found = kernel != nullptr ? GetProcAddress(kernel, "GetFinalPathNameByHandleA") : nullptr;
    if (found == nullptr)
        return std::string();
    auto finalPath = reinterpret_cast<FinalPathFn>(reinterpret_cast<void*>(found));
    HANDLE handle = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return std::string();
    char buffer[1024];
    const DWORD n = finalPath(handle, buffer, sizeof buffer, 0);
    CloseHandle(handle);
    if (n == 0 || n >= sizeof buffer)
        return std::string();
    return std::string(buffer, n);
}

}  // namespace platform
