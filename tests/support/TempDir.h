// A fresh temporary folder for one test, made the current folder while the
// object lives; removed with everything in it afterwards.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

class TempDir {
public:
    explicit TempDir(bool enter = true)
    {
        char pattern[] = "/tmp/kelvo-test-XXXXXX";
        if (mkdtemp(pattern) == nullptr)
            std::abort();
        path_ = pattern;
        if (enter) {
            previous_ = std::filesystem::current_path();
            std::filesystem::current_path(path_);
        }
    }
    ~TempDir()
    {
        if (!previous_.empty())
            std::filesystem::current_path(previous_);
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }
    // The folder, or a name inside it, as a native path.
    std::string Path(const std::string& name = std::string()) const { return name.empty() ? path_ : *this / name; }
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
    std::filesystem::path previous_;
};

inline void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

inline void WriteFile(const std::string& path, const std::string& text)
{
    WriteFile(path, std::vector<uint8_t>(text.begin(), text.end()));
}

inline std::vector<uint8_t> ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline bool Exists(const std::string& path)
{
    return std::filesystem::exists(path);
}
