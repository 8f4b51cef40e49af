// Scratch folders and file helpers for the tests that touch the disk.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace testfs {

// A fresh folder under /tmp, removed with everything in it at the end.
class TempFolder {
public:
    TempFolder()
    {
        char name[] = "/tmp/kelvo-test-XXXXXX";
        if (mkdtemp(name) != nullptr)
            path_ = name;
    }
    ~TempFolder()
    {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    bool Ok() const { return !path_.empty(); }
    // The folder, or a name inside it, as a native path.
    std::string Path(const std::string& name = std::string()) const
    {
        return name.empty() ? path_ : path_ + "/" + name;
    }
    // The same with backslashes, as the code under test takes paths.
    std::string Windows(const std::string& name = std::string()) const
    {
        std::string path = Path(name);
        for (char& c : path) {
            if (c == '/')
                c = '\\';
        }
        return path;
    }

private:
    std::string path_;
};

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
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline bool Exists(const std::string& path)
{
    std::error_code ignored;
    return std::filesystem::symlink_status(path, ignored).type() !=
           std::filesystem::file_type::not_found;
}

inline std::string Bytes(const std::vector<uint8_t>& bytes)
{
    return std::string(bytes.begin(), bytes.end());
}

}  // namespace testfs
