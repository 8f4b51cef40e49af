// Many small entries of the member cache in one file. A build that keeps
// thousands of small members would otherwise create a file for each, and
// creating a file costs more than compressing a few kilobytes. A pack is
// written under a temporary name and renamed into place whole once its
// build is done with it; it is never changed afterwards, only removed.
//
//   +---------+-----+-------------+------------------------------+--------+
//   | entry 0 | ... | entry n - 1 | table: n times key, at, size | footer |
//   |         |     |             |        32    u64  u64         |   16   |
//   +---------+-----+-------------+------------------------------+--------+
//
// Each entry is laid out as an entry file is (MemberCache.h), header and
// packed bytes, and is checked as one before it is used; the table tells
// where each key's entry lies. The footer: count u32, the table's CRC-32
// u32, version u32, magic "KVPK"; little-endian. A pack whose footer or
// table does not hold is not used.
#pragma once

#include "File.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class EntryPack {
public:
    using Key = std::array<uint8_t, 32>;
    struct Slot {
        Key key{};
        uint64_t at = 0;    // the entry's first byte
        uint64_t size = 0;  // header and packed bytes
    };
    static constexpr const char* kFolder = "packs";
    static constexpr uint32_t kVersion = 1;
    static constexpr size_t kSlotSize = 48;
    static constexpr size_t kFooterSize = 16;

    // Whether `name` is a pack's own name: hex digits, then ".pack".
    static bool IsPackName(const std::string& name);
    // The table of the pack open in `file`; false when it does not hold.
    static bool ReadTable(File& file, std::vector<Slot>* slots);

    // A pack to be put at `path`, written meanwhile under `temporary`.
    EntryPack(std::string path, std::string temporary);
    ~EntryPack();  // removes the temporary unless the pack was put in place
    EntryPack(const EntryPack&) = delete;
    EntryPack& operator=(const EntryPack&) = delete;

    // Appends one entry, header and packed bytes; false when it cannot be
    // written, and the pack is given up.
    bool Add(const Key& key, const std::vector<uint8_t>& entry);
    // The entry of slot i as it was added; false on a read error.
    bool Entry(size_t i, std::vector<uint8_t>* entry);
    // Writes the table and puts the pack in place; false, and nothing left
    // behind, when that fails.
    bool Finish();

    const std::vector<Slot>& Slots() const { return slots_; }
    uint64_t Bytes() const { return at_; }
    bool Failed() const { return failed_; }

private:
    void Abandon();

    std::string path_;
    std::string temporary_;
    File file_;
    std::vector<Slot> slots_;
    uint64_t at_ = 0;
    bool failed_ = false;
};
