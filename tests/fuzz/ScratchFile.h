// One file per fuzzing process that each input is written to, for the code
// that reads files by name; removed when the process ends.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

class ScratchFile {
public:
    // The file's name, with `suffix`, now holding the given bytes.
    static const std::string& Write(const uint8_t* data, size_t size, const char* suffix)
    {
        static const std::string path = Make(suffix);
        FILE* f = std::fopen(path.c_str(), "wb");
        if (f == nullptr || std::fwrite(data, 1, size, f) != size || std::fclose(f) != 0)
            std::abort();
        return path;
    }

private:
    static std::string Make(const char* suffix)
    {
        static std::string name;
        name = "/tmp/kelvo-fuzz-" + std::to_string(getpid()) + suffix;
        std::atexit([] { std::remove(name.c_str()); });
        return name;
    }
};
