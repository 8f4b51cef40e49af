// What the last builds learnt of their source files: for each path, the
// file's stamp (size, modification and change times, inode, device) and the
// hash of its content. A rebuild takes the hash from here for a file whose
// stamp is the same, instead of reading the file to hash it again; the
// hash only names the member's kept compressed copy, which is still
// checked whole before it is used. One file in the cache folder:
//
//   +-------+---------+-------+--------------------------------+-----+
//   | magic | version | count | entry ...                      | crc |
//   | "KVPI"|   u32   |  u32  | stamp 40, hash 32, u32 n, path |  u32|
//   +-------+---------+-------+--------------------------------+-----+
//
// little-endian; `crc` is the CRC-32 of everything before it. An index
// whose sum or lengths do not hold is ignored as a whole.
//
// The racy rule: a stamp says nothing of a change made within the clock
// tick the stamp was read in, so a file modified (or changed) no earlier
// than the index was written is hashed anyway, as is one whose stamp moved
// while it was hashed.
#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

class StatIndex {
public:
    using Digest = std::array<uint8_t, 32>;
    struct Stamp {
        uint64_t size = 0;
        int64_t modified = 0;  // nanoseconds (100 ns units on Windows)
        int64_t changed = 0;   // status change time; 0 where the system has none
        uint64_t inode = 0;
        uint64_t device = 0;
        bool operator==(const Stamp& other) const;
        bool operator!=(const Stamp& other) const { return !(*this == other); }
    };
    static constexpr uint32_t kVersion = 1;
    static constexpr size_t kMaxEntries = 1000000;  // kept over all projects that share the folder
    static constexpr const char* kFileName = "stat-index";
    // A temporary index this old was left by a build that ended abruptly.
    static constexpr std::chrono::hours kStaleTemporary{1};

    // The stamp of the file at path; false if it cannot be read.
    static bool StampOf(const std::string& path, Stamp* stamp);

    // The index in `folder`, read now (none, or a damaged one: empty).
    explicit StatIndex(std::string folder);

    // The hash recorded for path, when its stamp is the same and not racy.
    bool Lookup(const std::string& path, const Stamp& stamp, Digest* digest) const;
    // What this build learnt; Forget drops what the index held for path.
    // Both may be called from several threads.
    void Record(const std::string& path, const Stamp& stamp, const Digest& digest);
    void Forget(const std::string& path);
    // Writes this build's records and the older ones of other paths, under
    // a temporary name renamed into place, and removes stale temporaries.
    // Failures only cost the next build its shortcut, so they are not
    // reported.
    void Save() const;

    std::string Path() const;
    size_t Size() const { return known_.size(); }

    struct Known {
        Stamp stamp;
        Digest digest{};
    };
    // The bytes of an index holding `entries` (Save's and the tests' one encoder).
    static std::vector<uint8_t> Encode(const std::vector<std::pair<std::string, Known>>& entries);

private:
    void Load();
    void RemoveStaleTemporaries() const;

    std::string folder_;
    int64_t writtenAt_ = 0;  // the index file's modification time
    std::unordered_map<std::string, Known> known_;

    mutable std::mutex mutex_;
    std::unordered_map<std::string, Known> learnt_;
    std::unordered_set<std::string> forgotten_;
};
