// Compressed members kept between builds, so that a rebuild compresses only
// what changed. An entry is named by a key made of everything that decides
// a member's compressed bytes: a hash of its content and its size, the coder
// and its settings (plain or optimal parsing, the ring, the match lengths)
// and the version of this layout. Each entry is one file, or lies in a
// pack with the other small entries of the build that wrote it
// (EntryPack.h), laid out the same:
//
//   +-------+---------+-----+----------+--------+-----+-----------+------------+
//   | magic | version | key | original | packed | crc | headerCrc | packed ... |
//   | "KVPC"|   u32   | 32  |   u64    |  u64   | u32 |    u32    |   bytes    |
//   +-------+---------+-----+----------+--------+-----+-----------+------------+
//
// little-endian; `crc` is the CRC-32 of the packed bytes, `headerCrc` that
// of the 60 bytes before it. An entry is never trusted blindly: one whose
// header, length or sum does not hold is removed and the member compressed
// again (in a pack: the pack is removed). Entries and packs are written
// under a temporary name and renamed, so builds that share the folder never
// see half of one; the oldest used are dropped first once the folder holds
// more than its limit, a pack as a whole, its last use that of any entry.
//
// Counting the entries means a look-up of each, as costly as a rebuild of
// thousands of unchanged files itself, so the folder's total is kept in a
// small ledger beside them:
//
//   +-------+---------+-------+-----------+-----+
//   | magic | version | bytes | scannedAt | crc |
//   | "KVPS"|   u32   |  u64  |    i64    | u32 |
//   +-------+---------+-------+-----------+-----+
//
// little-endian; `bytes` is the total at the last count (`scannedAt`, in
// seconds since 1970) plus what builds wrote since, `crc` the CRC-32 of
// the 24 bytes before it. The entries are counted again when the ledger
// says the limit would be passed, is damaged or missing (but for a folder
// this build made: it holds what the build wrote), or is a day old: builds
// that wrote side by side, or ended before they told the ledger, may have
// left it short.
#pragma once

#include "EntryPack.h"
#include "File.h"
#include "TemporaryFiles.h"

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

class MemberCache {
public:
    using Key = std::array<uint8_t, 32>;
    static constexpr size_t kHeaderSize = 64;
    static constexpr uint32_t kVersion = 1;
    static constexpr uint64_t kDefaultLimit = uint64_t(1) << 30;
    static constexpr const char* kLedgerName = "cache-size";

    // The key of a member: the BLAKE2b-256 of its content, its size, and
    // whether it is parsed optimally (--best).
    static Key MakeKey(const uint8_t (&contentHash)[32], uint64_t size, bool best);
    static std::string Hex(const Key& key);

    // Where the cache lives: $XDG_CACHE_HOME/kelvopack, else
    // $HOME/.cache/kelvopack; %LOCALAPPDATA%\kelvopack on Windows. Empty
    // when the environment names no such folder.
    static std::string DefaultFolder();
    // KELVOPACK_CACHE_SIZE: bytes, or with K, M or G (binary multiples).
    // kDefaultLimit when unset. False, with the reason, on a value that is
    // not a size.
    static bool LimitFromEnvironment(uint64_t* limit, std::string* reason);

    // Entries up to this are read into memory whole, summed as they are
    // read once; larger ones are summed, then copied from their file by the
    // caller (into a setup, by the system).
    static constexpr size_t kDefaultWholeEntry = size_t(1) << 20;

    // Members of at most kPackMember bytes are kept in packs of entries
    // (EntryPack.h) when a build keeps at least `packLeast` of them, each
    // in its own file when fewer: a pack per build of a few files would
    // leave many small packs to read. A pack is put in place once it holds
    // kPackLargest bytes, and when the build is done: packs are dropped
    // whole, so a large build's small entries are dropped a part at a time.
    static constexpr uint64_t kPackMember = uint64_t(64) << 10;
    static constexpr size_t kPackLeast = 64;
    static constexpr uint64_t kPackLargest = uint64_t(16) << 20;

    // A cache in `folder` (made when first written to) of at most `limit`
    // bytes of entries; the tables of its packs are read now.
    MemberCache(std::string folder, uint64_t limit, size_t wholeEntry = kDefaultWholeEntry,
                size_t packLeast = kPackLeast);
    ~MemberCache();  // puts the pack being written in place
    MemberCache(const MemberCache&) = delete;
    MemberCache& operator=(const MemberCache&) = delete;

    // An entry found intact. Small entries are read whole into `bytes`;
    // the others are read from `file` (placed at the packed bytes) by the
    // caller, who checks `crc` again as it reads.
    struct Entry {
        uint64_t packedSize = 0;
        uint32_t crc = 0;
        std::vector<uint8_t> bytes;
        File file;
        bool whole = false;  // bytes holds every packed byte
    };
    // Finds the entry for key of a member of `originalSize` bytes, checks
    // it whole and marks it as used now (in a pack: the pack). A damaged
    // entry is removed (in a pack: the pack) and false returned, as when
    // there is none.
    bool Find(const Key& key, uint64_t originalSize, Entry* entry) const;

    // Writes one entry under a temporary name; Commit renames it into
    // place. An entry of a member of at most kPackMember bytes is held in
    // memory and goes to the pack being written. A write that fails leaves
    // nothing behind: the cache only saves time, so its failures never
    // fail a build.
    class Writer {
    public:
        Writer(const MemberCache& cache, const Key& key, uint64_t originalSize = UINT64_MAX);
        ~Writer();
        Writer(const Writer&) = delete;
        Writer& operator=(const Writer&) = delete;

        void Append(const uint8_t* data, size_t size);
        // True when the entry is in place.
        bool Commit(uint64_t originalSize, uint64_t packedSize, uint32_t crc);

    private:
        void Abandon();

        const MemberCache& cache_;
        Key key_;
        std::string temporary_;
        std::string final_;
        File file_;
        bool failed_ = false;
        bool packed_ = false;         // for the pack: the entry is held in bytes_
        std::vector<uint8_t> bytes_;  // header and packed bytes
    };

    // Puts the pack being written in place, or its entries in their files
    // when they are few; entries written later go to files.
    void ClosePack() const;

    // Closes the pack, then drops the entries (and packs) used longest ago
    // until the rest fit the limit, and temporary files that a build which
    // ended abruptly left behind; the ledger tells when there is no need
    // to count them.
    void Trim() const;

    const std::string& Folder() const { return folder_; }
    // The file of the entry for key.
    std::string EntryPath(const Key& key) const;

private:
    // A pack found when the cache was made. Workers read it side by side,
    // each through a handle of its own while there are enough: one handle
    // shared by all kept them waiting for each other.
    struct Pack {
        struct Handle {
            std::mutex mutex;
            File file;  // opened when first needed
        };
        static constexpr size_t kHandles = 4;
        std::string path;
        Handle handles[kHandles];
        int64_t modified = 0;
        std::atomic<bool> marked{false};  // its use recorded by this build
        std::atomic<bool> dead{false};    // found damaged and removed
    };
    struct Place {
        size_t pack = 0;
        uint64_t at = 0;
        uint64_t size = 0;
    };
    struct KeyHash {
        size_t operator()(const Key& key) const;
    };

    void LoadPacks();
    bool FindPacked(const Key& key, uint64_t originalSize, Entry* entry) const;
    // Adds a whole entry to the pack being written, else to its own file.
    bool Keep(const Key& key, std::vector<uint8_t> entry) const;
    bool KeepFile(const Key& key, const std::vector<uint8_t>& entry) const;

    std::string folder_;
    std::string prefix_;  // the folder with a separator behind it
    uint64_t limit_;
    size_t wholeEntry_;
    mutable std::atomic<uint64_t> written_{0};  // bytes of the entries put in place, not yet in the ledger
    mutable TemporaryFiles temporaries_;
    bool fresh_ = false;  // the folder did not exist when the cache was made
    size_t packLeast_;
    std::vector<std::unique_ptr<Pack>> packs_;
    std::unordered_map<Key, Place, KeyHash> places_;
    mutable std::mutex packing_;  // guards writing_ and closed_
    mutable std::unique_ptr<EntryPack> writing_;
    mutable bool closed_ = false;
};
