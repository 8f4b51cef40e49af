// The builder's files written under a temporary name and renamed into place
// (cache entries, the cache's ledger, the stat index), and the clean-up of
// those a build that ended abruptly left behind.
#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <string>

class TemporaryFiles {
public:
    // Draws the random part of its names, once: drawing it per name costs
    // more than writing a small file.
    TemporaryFiles();

    // Hex digits no other writer picks (random per object, counted within
    // it). May be called from several threads.
    std::string Unique();
    // ".<unique>.tmp", the temporary name's end.
    std::string Suffix();

    // Whether `name` is a temporary of the file called `head` ("" for any).
    static bool IsTemporaryOf(const std::string& name, const std::string& head);

    // Removes `file` when it is a regular file last written more than `age`
    // ago: no build still running owns it.
    static void RemoveIfStale(const std::filesystem::directory_entry& file, std::filesystem::file_time_type now,
                              std::filesystem::file_time_type::duration age);

private:
    uint64_t random_;
    std::atomic<uint64_t> count_{0};
};
