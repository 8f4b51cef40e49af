// Helpers for the tests that touch the disk, on top of TempDir.h.
#pragma once

#include "TempDir.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace testfs {

// Makes a folder the current one for a scope.
class InFolder {
public:
    explicit InFolder(const std::string& folder) : saved_(std::filesystem::current_path())
    {
        std::filesystem::current_path(folder);
    }
    ~InFolder()
    {
        std::error_code ignored;
        std::filesystem::current_path(saved_, ignored);
    }
    InFolder(const InFolder&) = delete;
    InFolder& operator=(const InFolder&) = delete;

private:
    std::filesystem::path saved_;
};

inline void WriteFile(const std::string& path, const std::string& bytes)
{
    ::WriteFile(path, bytes);
}

inline std::string Bytes(const std::vector<uint8_t>& bytes)
{
    return std::string(bytes.begin(), bytes.end());
}

// The file's bytes as a string, which the text checks compare most easily.
inline std::string ReadFile(const std::string& path)
{
    return Bytes(::ReadFile(path));
}

inline bool Exists(const std::string& path)
{
    std::error_code ignored;
    return std::filesystem::symlink_status(path, ignored).type() != std::filesystem::file_type::not_found;
}

}  // namespace testfs
