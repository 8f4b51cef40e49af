#include "TemporaryFiles.h"

#include <cstdint>
#include <cstdio>
#include <functional>
#include <random>
#include <thread>

namespace fs = std::filesystem;

std::string TemporarySuffix()
{
    std::random_device device;
    const uint64_t random = (uint64_t(device()) << 32) ^ device();
    const size_t thread = std::hash<std::thread::id>()(std::this_thread::get_id());
    char text[64];
    std::snprintf(text, sizeof text, ".%zx%016llx.tmp", thread, static_cast<unsigned long long>(random));
    return text;
}

bool IsTemporaryOf(const std::string& name, const std::string& head)
{
    const std::string start = head.empty() ? head : head + ".";
    return name.size() > start.size() + 4 && name.compare(0, start.size(), start) == 0 &&
           name.compare(name.size() - 4, 4, ".tmp") == 0;
}

void RemoveIfStale(const fs::directory_entry& file, fs::file_time_type now, fs::file_time_type::duration age)
{
    std::error_code e;
    const fs::file_time_type written = fs::last_write_time(file.path(), e);
    if (!e && file.is_regular_file(e) && now - written > age)
        fs::remove(file.path(), e);
}
