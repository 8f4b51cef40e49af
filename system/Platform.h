// The few file-system services the portable code needs, in one small layer.
// Paths are Windows paths: the backslash separates folders. On other systems
// the layer turns each backslash into a slash before it asks the system, so
// that the same code, and the same tests, run natively.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace platform {

struct FolderEntry {
    std::string name;
    bool folder = false;
    bool link = false;  // symbolic link or junction: never followed
};

// The path as the system wants it (separators translated where needed).
std::string NativePath(const char* path);

FILE* OpenFile(const char* path, const char* mode);
bool FileExists(const char* path);  // an entry that is not a folder
bool FolderExists(const char* path);
// One level; false if it failed or exists. `access`, when given, is the
// security descriptor (in its text form) the folder is made with, never
// without: Windows only, elsewhere it plays no part.
bool CreateFolder(const char* path, const char* access = nullptr);
bool RemoveFolder(const char* path);  // an empty folder, or a link to one
bool RemoveFile(const char* path);
// Takes the place of `to` if that is a file, on both systems, never by
// removing it first: should the rename fail, the old file stays whole.
bool RenameFile(const char* from, const char* to);
// Lists a folder, "." and ".." left out, in the order the system returns them.
bool ListFolder(const char* folder, std::vector<FolderEntry>* entries);
// Whether both names lead to one and the same existing file.
bool SameFile(const char* a, const char* b);
// Size and modification time, to notice that a file changed; false if missing.
bool FileStamp(const char* path, uint64_t* size, int64_t* modified);
// Whether the entry itself is a symbolic link or junction (not followed).
bool IsLink(const char* path);
// The folder's real name after every link on its way is followed, as the
// system resolves it; empty when it cannot be told.
std::string RealPath(const char* path);
// The path with each part that exists under a short (8.3) name spelled out
// under its long one; what does not exist yet stays as it is. Elsewhere
// than on Windows, the path itself.
std::string LongPath(const std::string& path);
// Whether a byte begins a double-byte character in the system's ANSI code
// page (never, elsewhere than on Windows).
bool IsLeadByte(unsigned char c);

std::string CurrentFolder();
bool ChangeFolder(const char* path);

}  // namespace platform
