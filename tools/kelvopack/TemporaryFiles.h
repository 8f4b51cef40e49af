// The builder's files written under a temporary name and renamed into place
// (cache entries, the cache's ledger, the stat index), and the clean-up of
// those a build that ended abruptly left behind.
#pragma once

#include <filesystem>
#include <string>

// ".<unique>.tmp": a name no other writer picks (process, thread, random).
std::string TemporarySuffix();

// Whether `name` is a temporary of the file called `head` ("" for any).
bool IsTemporaryOf(const std::string& name, const std::string& head);

// Removes `file` when it is a regular file last written more than `age` ago:
// no build still running owns it.
void RemoveIfStale(const std::filesystem::directory_entry& file, std::filesystem::file_time_type now,
                   std::filesystem::file_time_type::duration age);
