#include "TemporaryFiles.h"

#include <cstdio>
#include <random>

namespace fs = std::filesystem;

TemporaryFiles::TemporaryFiles()
{
    std::random_device device;
    random_ = (uint64_t(device()) << 32) ^ device();
}

std::string TemporaryFiles::Unique()
{
    char text[64];
    std::snprintf(text, sizeof text, "%016llx%llx", static_cast<unsigned long long>(random_),
                  static_cast<unsigned long long>(count_.fetch_add(1, std::memory_order_relaxed)));
    return text;
}

std::string TemporaryFiles::Suffix()
{
    return "." + Unique() + ".tmp";
}

bool TemporaryFiles::IsTemporaryOf(const std::string& name, const std::string& head)
{
    const std::string start = head.empty() ? head : head + ".";
    return name.size() > start.size() + 4 && name.compare(0, start.size(), start) == 0 &&
           name.compare(name.size() - 4, 4, ".tmp") == 0;
}

void TemporaryFiles::RemoveIfStale(const fs::directory_entry& file, fs::file_time_type now,
                                   fs::file_time_type::duration age)
{
    std::error_code e;
    const fs::file_time_type written = fs::last_write_time(file.path(), e);
    if (!e && file.is_regular_file(e) && now - written > age)
        fs::remove(file.path(), e);
}
