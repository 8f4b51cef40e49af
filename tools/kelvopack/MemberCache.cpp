#include "MemberCache.h"

#include "Blake2b.h"
#include "EntryPack.h"
#include "Crc32.h"
#include "LittleEndian.h"
#include "Lzss.h"
#include "StatIndex.h"
#include "TemporaryFiles.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace {

constexpr char kMagic[4] = {'K', 'V', 'P', 'C'};
constexpr size_t kBlock = size_t(1) << 20;
constexpr size_t kOneRead = size_t(256) << 10;
// How exactly an entry's last use is kept, for dropping the oldest used.
constexpr auto kUseMark = std::chrono::minutes(10);
// A temporary file this old belongs to no build still running.
constexpr auto kStaleTemporary = std::chrono::hours(24);

void EncodeHeader(const MemberCache::Key& key, uint64_t original, uint64_t packed, uint32_t crc,
                  uint8_t (&header)[MemberCache::kHeaderSize])
{
    std::memcpy(header, kMagic, 4);
    PutLe32(header + 4, MemberCache::kVersion);
    std::memcpy(header + 8, key.data(), key.size());
    PutLe64(header + 40, original);
    PutLe64(header + 48, packed);
    PutLe32(header + 56, crc);
    PutLe32(header + 60, Crc32(header, 60));
}

// Whether `entry`, header and packed bytes as read, is the whole entry for
// key of a member of `original` bytes, its sum holding.
bool IsWholeEntry(const std::vector<uint8_t>& entry, const MemberCache::Key& key, uint64_t original)
{
    const uint64_t largest = original + (original + 7) / 8 + lzss::kMaxGroupSize;
    const uint8_t* h = entry.data();
    return entry.size() >= MemberCache::kHeaderSize && std::memcmp(h, kMagic, 4) == 0 && Le32(h + 60) == Crc32(h, 60) &&
           Le32(h + 4) == MemberCache::kVersion && std::memcmp(h + 8, key.data(), key.size()) == 0 &&
           Le64(h + 40) == original && Le64(h + 48) <= largest &&
           Le64(h + 48) == entry.size() - MemberCache::kHeaderSize &&
           Crc32(h + MemberCache::kHeaderSize, entry.size() - MemberCache::kHeaderSize) == Le32(h + 56);
}

bool IsEntryName(const std::string& name)
{
    return name.size() == 64 && std::all_of(name.begin(), name.end(),
                                            [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); });
}

void RemoveQuietly(const std::string& path)
{
    std::error_code ec;
    fs::remove(fs::path(path), ec);
}

int64_t NowSeconds()
{
    return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

constexpr char kLedgerMagic[4] = {'K', 'V', 'P', 'S'};
constexpr uint32_t kLedgerVersion = 1;
constexpr size_t kLedgerSize = 28;
// How long the ledger is trusted without counting the entries again.
constexpr int64_t kLedgerLife = int64_t(24) * 3600;

struct Ledger {
    uint64_t bytes = 0;
    int64_t scannedAt = 0;
};

bool ReadLedger(const std::string& path, Ledger* ledger)
{
    File file(path.c_str(), "rb");
    uint8_t b[kLedgerSize + 1];
    if (!file.IsOpen() || !file.Unbuffer() || file.Read(b, sizeof b) != kLedgerSize ||
        std::memcmp(b, kLedgerMagic, 4) != 0 || Le32(b + 4) != kLedgerVersion || Le32(b + 24) != Crc32(b, 24))
        return false;
    ledger->bytes = Le64(b + 8);
    ledger->scannedAt = static_cast<int64_t>(Le64(b + 16));
    return true;
}

// Under a temporary name renamed into place, like an entry; a failure only
// costs the next build a count.
void WriteLedger(const std::string& path, const Ledger& ledger, const std::string& suffix)
{
    uint8_t b[kLedgerSize];
    std::memcpy(b, kLedgerMagic, 4);
    PutLe32(b + 4, kLedgerVersion);
    PutLe64(b + 8, ledger.bytes);
    PutLe64(b + 16, static_cast<uint64_t>(ledger.scannedAt));
    PutLe32(b + 24, Crc32(b, 24));
    const std::string temporary = path + suffix;
    {
        File file(temporary.c_str(), "wb");
        if (!file.IsOpen() || !file.Write(b, sizeof b) || !file.Close()) {
            RemoveQuietly(temporary);
            return;
        }
    }
    std::error_code ec;
    fs::rename(fs::path(temporary), fs::path(path), ec);
    if (ec)
        RemoveQuietly(temporary);
}

}  // namespace

MemberCache::Key MemberCache::MakeKey(const uint8_t (&contentHash)[32], uint64_t size, bool best)
{
    // Every input of the coder that shapes its output, and this layout's version.
    Blake2b hash(32);
    const char purpose[] = "kelvopack member";
    hash.Update(purpose, sizeof purpose);
    uint8_t fields[4 + 4 * 4 + 8];
    PutLe32(fields, kVersion);
    PutLe32(fields + 4, best ? 2 : 1);  // the coder: plain, or optimal parsing
    PutLe32(fields + 8, lzss::kRingSize);
    PutLe32(fields + 12, lzss::kMaxMatch);
    PutLe32(fields + 16, lzss::kThreshold);
    PutLe64(fields + 20, size);
    hash.Update(fields, sizeof fields);
    hash.Update(contentHash, 32);
    Key key;
    hash.Final(key.data());
    return key;
}

std::string MemberCache::Hex(const Key& key)
{
    static const char digits[] = "0123456789abcdef";
    std::string text;
    for (uint8_t b : key) {
        text += digits[b >> 4];
        text += digits[b & 15];
    }
    return text;
}

std::string MemberCache::DefaultFolder()
{
#ifdef _WIN32
    const char* local = std::getenv("LOCALAPPDATA");
    if (local != nullptr && *local != '\0')
        return (fs::path(local) / "kelvopack").string();
    return {};
#else
    const char* xdg = std::getenv("XDG_CACHE_HOME");
    if (xdg != nullptr && *xdg == '/')  // a relative one is to be ignored
        return (fs::path(xdg) / "kelvopack").string();
    const char* home = std::getenv("HOME");
    if (home != nullptr && *home != '\0')
        return (fs::path(home) / ".cache" / "kelvopack").string();
    return {};
#endif
}

bool MemberCache::LimitFromEnvironment(uint64_t* limit, std::string* reason)
{
    const char* text = std::getenv("KELVOPACK_CACHE_SIZE");
    *limit = kDefaultLimit;
    if (text == nullptr || *text == '\0')
        return true;
    const std::string value(text);
    size_t digits = 0;
    while (digits < value.size() && std::isdigit(static_cast<unsigned char>(value[digits])))
        ++digits;
    unsigned shift = 0;
    const std::string unit = value.substr(digits);
    if (unit == "K" || unit == "k")
        shift = 10;
    else if (unit == "M" || unit == "m")
        shift = 20;
    else if (unit == "G" || unit == "g")
        shift = 30;
    else if (!unit.empty())
        digits = 0;
    uint64_t n = 0;
    bool overflow = false;
    for (size_t i = 0; i < digits; ++i) {
        const unsigned d = static_cast<unsigned>(value[i] - '0');
        overflow |= n > (UINT64_MAX - d) / 10;
        n = n * 10 + d;
    }
    if (digits == 0 || overflow || (shift > 0 && n > (UINT64_MAX >> shift))) {
        *reason = "KELVOPACK_CACHE_SIZE is \"" + value + "\": give the cache's size in bytes, or with K, M or G (512M)";
        return false;
    }
    *limit = n << shift;
    return true;
}

MemberCache::MemberCache(std::string folder, uint64_t limit, size_t wholeEntry, size_t packLeast)
    : folder_(std::move(folder)), prefix_((fs::path(folder_) / "").string()), limit_(limit), wholeEntry_(wholeEntry),
      packLeast_(packLeast)
{
    std::error_code ec;
    fresh_ = !fs::exists(fs::path(folder_), ec) && !ec;
    if (!fresh_)
        LoadPacks();
}

MemberCache::~MemberCache()
{
    ClosePack();
}

size_t MemberCache::KeyHash::operator()(const Key& key) const
{
    size_t h = 0;
    std::memcpy(&h, key.data(), sizeof h);  // a hash already
    return h;
}

void MemberCache::LoadPacks()
{
    std::error_code ec;
    const fs::path folder = fs::path(folder_) / EntryPack::kFolder;
    std::vector<EntryPack::Slot> slots;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        if (!EntryPack::IsPackName(it->path().filename().string()))
            continue;
        auto pack = std::make_unique<Pack>();
        pack->path = it->path().string();
        File& file = pack->handles[0].file;
        file = File(pack->path.c_str(), "rb");
        if (!file.IsOpen() || !file.Unbuffer())
            continue;
        if (!EntryPack::ReadTable(file, &slots)) {
            // Put in place whole, so damaged: of no use.
            file.Close();
            RemoveQuietly(pack->path);
            continue;
        }
        if (!file.Modified(&pack->modified))
            pack->modified = 0;
        for (const EntryPack::Slot& slot : slots)
            places_.emplace(slot.key, Place{packs_.size(), slot.at, slot.size});
        packs_.push_back(std::move(pack));
    }
}

bool MemberCache::FindPacked(const Key& key, uint64_t originalSize, Entry* entry) const
{
    const auto found = places_.find(key);
    if (found == places_.end())
        return false;
    const Place& place = found->second;
    Pack& pack = *packs_[place.pack];
    if (pack.dead)
        return false;
    // A free handle, else waits for the first.
    std::unique_lock<std::mutex> lock;
    Pack::Handle* handle = nullptr;
    for (Pack::Handle& h : pack.handles) {
        lock = std::unique_lock<std::mutex>(h.mutex, std::try_to_lock);
        if (lock.owns_lock()) {
            handle = &h;
            break;
        }
    }
    if (handle == nullptr) {
        handle = &pack.handles[0];
        lock = std::unique_lock<std::mutex>(handle->mutex);
    }
    if (!handle->file.IsOpen()) {
        handle->file = File(pack.path.c_str(), "rb");
        if (!handle->file.IsOpen() || !handle->file.Unbuffer())
            return false;
    }
    std::vector<uint8_t>& bytes = entry->bytes;
    bytes.resize(static_cast<size_t>(place.size));
    if (!handle->file.ReadAt(place.at, bytes.data(), bytes.size()) || !IsWholeEntry(bytes, key, originalSize)) {
        // Its other entries are made again as they are needed.
        pack.dead = true;
        handle->file.Close();
        RemoveQuietly(pack.path);
        return false;
    }
    lock.unlock();
    // Used now: marked as an entry file is, once per build at most.
    if (!pack.marked.exchange(true)) {
        const int64_t now = NowSeconds();
        if (now - pack.modified > std::chrono::duration_cast<std::chrono::seconds>(kUseMark).count() ||
            pack.modified > now) {
            std::error_code ec;
            fs::last_write_time(fs::path(pack.path), fs::file_time_type::clock::now(), ec);
        }
    }
    entry->packedSize = bytes.size() - kHeaderSize;
    entry->crc = Le32(bytes.data() + 56);
    entry->whole = true;
    bytes.erase(bytes.begin(), bytes.begin() + kHeaderSize);
    return true;
}

bool MemberCache::Keep(const Key& key, std::vector<uint8_t> entry) const
{
    {
        std::lock_guard<std::mutex> lock(packing_);
        if (!closed_) {
            if (!writing_) {
                const std::string name = temporaries_.Unique() + ".pack";
                const std::string path = (fs::path(folder_) / EntryPack::kFolder / name).string();
                writing_ = std::make_unique<EntryPack>(path, path + temporaries_.Suffix());
            }
            if (writing_->Add(key, entry)) {
                if (writing_->Bytes() >= kPackLargest && writing_->Slots().size() >= packLeast_) {
                    if (writing_->Finish())
                        written_ += writing_->Bytes();
                    writing_.reset();
                }
                return true;
            }
            // The pack failed, and its entries with it; the rest go to files.
            writing_.reset();
            closed_ = true;
        }
    }
    return KeepFile(key, entry);
}

bool MemberCache::KeepFile(const Key& key, const std::vector<uint8_t>& entry) const
{
    Writer file(*this, key);
    const uint8_t* h = entry.data();
    file.Append(h + kHeaderSize, entry.size() - kHeaderSize);
    return file.Commit(Le64(h + 40), Le64(h + 48), Le32(h + 56));
}

void MemberCache::ClosePack() const
{
    std::unique_ptr<EntryPack> pack;
    {
        std::lock_guard<std::mutex> lock(packing_);
        closed_ = true;
        pack = std::move(writing_);
    }
    if (!pack)
        return;
    if (pack->Slots().size() >= packLeast_) {
        if (pack->Finish())
            written_ += pack->Bytes();
        return;
    }
    std::vector<uint8_t> entry;
    for (size_t i = 0; i < pack->Slots().size(); ++i) {
        if (pack->Entry(i, &entry))
            KeepFile(pack->Slots()[i].key, entry);
    }
    // The pack's temporary goes with it.
}

std::string MemberCache::EntryPath(const Key& key) const
{
    // Spelt out by hand: a path object per look-up costs more than the look-up.
    const std::string hex = Hex(key);
    std::string path = prefix_;
    path.append(hex, 0, 2);
    path += static_cast<char>(fs::path::preferred_separator);
    path += hex;
    return path;
}

bool MemberCache::Find(const Key& key, uint64_t originalSize, Entry* entry) const
{
    if (FindPacked(key, originalSize, entry))
        return true;
    const std::string path = EntryPath(key);
    File file(path.c_str(), "rb");
    if (!file.IsOpen())
        return false;
    const auto damaged = [&]() {
        file.Close();
        RemoveQuietly(path);
        return false;
    };
    const uint64_t largest = originalSize + (originalSize + 7) / 8 + lzss::kMaxGroupSize;
    // An entry that is surely small is read in one call, header and all;
    // one byte more than it may hold tells its length without asking the
    // system for it. Larger ones would pay more for the room than the call.
    const bool small = largest <= std::min(wholeEntry_, kOneRead);
    uint8_t header[kHeaderSize];
    size_t got = 0;
    if (small) {
        file.Unbuffer();
        entry->bytes.resize(static_cast<size_t>(kHeaderSize + largest + 1));
        got = file.Read(entry->bytes.data(), entry->bytes.size());
        std::memcpy(header, entry->bytes.data(), std::min(got, sizeof header));
    } else {
        got = file.Read(header, sizeof header);
    }
    if (got < sizeof header || std::memcmp(header, kMagic, 4) != 0 || Le32(header + 60) != Crc32(header, 60) ||
        Le32(header + 4) != kVersion || std::memcmp(header + 8, key.data(), key.size()) != 0 ||
        Le64(header + 40) != originalSize)
        return damaged();
    const uint64_t packed = Le64(header + 48);
    const uint32_t crc = Le32(header + 56);
    if (packed > largest)
        return damaged();

    // The whole entry is summed before any of it is used.
    entry->packedSize = packed;
    entry->crc = crc;
    entry->whole = packed <= wholeEntry_;
    uint32_t sum = 0;
    if (small) {
        if (got != kHeaderSize + packed)
            return damaged();
        entry->bytes.erase(entry->bytes.begin(), entry->bytes.begin() + kHeaderSize);
        entry->bytes.resize(static_cast<size_t>(packed));
        sum = Crc32(entry->bytes.data(), entry->bytes.size());
    } else if (entry->whole) {
        entry->bytes.resize(static_cast<size_t>(packed) + 1);
        if (file.Read(entry->bytes.data(), entry->bytes.size()) != packed)
            return damaged();
        entry->bytes.pop_back();
        sum = Crc32(entry->bytes.data(), entry->bytes.size());
    } else {
        const int64_t length = file.Size();
        if (length < 0 || static_cast<uint64_t>(length) != kHeaderSize + packed)
            return damaged();
        std::vector<uint8_t> block(kBlock);
        uint64_t left = packed;
        while (left > 0) {
            const size_t want = static_cast<size_t>(std::min<uint64_t>(left, block.size()));
            if (file.Read(block.data(), want) != want)
                return damaged();
            sum = Crc32(block.data(), want, sum);
            left -= want;
        }
        if (!file.Seek(static_cast<int64_t>(kHeaderSize), SEEK_SET))
            return false;
    }
    if (sum != crc)
        return damaged();

    // Used now: the last to be dropped. Marked at most once per kUseMark,
    // as rewriting an entry's time costs more than reading it; its time is
    // asked of the open file, which costs no look-up of the path.
    int64_t used = 0;
    const int64_t now = NowSeconds();
    const bool known = file.Modified(&used);
    if (!entry->whole)
        entry->file = std::move(file);
    else
        file.Close();
    if (!known || now - used > std::chrono::duration_cast<std::chrono::seconds>(kUseMark).count() || used > now) {
        std::error_code ec;
        fs::last_write_time(fs::path(path), fs::file_time_type::clock::now(), ec);
    }
    return true;
}

MemberCache::Writer::Writer(const MemberCache& cache, const Key& key, uint64_t originalSize)
    : cache_(cache), key_(key), packed_(originalSize <= kPackMember)
{
    if (packed_) {
        bytes_.resize(kHeaderSize);
        return;
    }
    final_ = cache.EntryPath(key);
    temporary_ = final_ + cache.temporaries_.Suffix();
    file_ = File(temporary_.c_str(), "wb");
    if (!file_.IsOpen()) {
        // Its folder is made when the first entry goes there: asking for it
        // every time costs a look-up per entry.
        std::error_code ec;
        fs::create_directories(fs::path(final_).parent_path(), ec);
        file_ = File(temporary_.c_str(), "wb");
    }
    uint8_t header[kHeaderSize] = {};
    failed_ = !file_.IsOpen() || !file_.Write(header, sizeof header);
}

MemberCache::Writer::~Writer()
{
    if (!temporary_.empty())
        Abandon();
}

void MemberCache::Writer::Abandon()
{
    file_.Close();
    RemoveQuietly(temporary_);
    temporary_.clear();
    failed_ = true;
}

void MemberCache::Writer::Append(const uint8_t* data, size_t size)
{
    if (packed_)
        bytes_.insert(bytes_.end(), data, data + size);
    else if (!failed_ && !file_.Write(data, size))
        Abandon();
}

bool MemberCache::Writer::Commit(uint64_t originalSize, uint64_t packedSize, uint32_t crc)
{
    if (packed_) {
        if (bytes_.size() != kHeaderSize + packedSize)
            return false;
        uint8_t header[kHeaderSize];
        EncodeHeader(key_, originalSize, packedSize, crc, header);
        std::memcpy(bytes_.data(), header, sizeof header);
        return cache_.Keep(key_, std::move(bytes_));
    }
    if (failed_)
        return false;
    uint8_t header[kHeaderSize];
    EncodeHeader(key_, originalSize, packedSize, crc, header);
    if (!file_.Seek(0, SEEK_SET) || !file_.Write(header, sizeof header) || !file_.Close()) {
        Abandon();
        return false;
    }
    // Another build may have put the same entry in place meanwhile: its
    // bytes are the same, so either one will do.
    std::error_code ec;
    fs::rename(fs::path(temporary_), fs::path(final_), ec);
    if (ec) {
        Abandon();
        return fs::exists(fs::path(final_), ec);
    }
    temporary_.clear();
    cache_.written_ += kHeaderSize + packedSize;
    return true;
}

void MemberCache::Trim() const
{
    ClosePack();
    const std::string ledgerPath = prefix_ + kLedgerName;
    const uint64_t written = written_.exchange(0);
    const int64_t nowSeconds = NowSeconds();
    Ledger ledger;
    if (ReadLedger(ledgerPath, &ledger) && ledger.scannedAt <= nowSeconds &&
        nowSeconds - ledger.scannedAt < kLedgerLife && ledger.bytes <= limit_ && written <= limit_ - ledger.bytes) {
        if (written > 0)
            WriteLedger(ledgerPath, {ledger.bytes + written, ledger.scannedAt}, temporaries_.Suffix());
        return;
    }
    if (fresh_ && written <= limit_) {
        // The folder did not exist when this build began: it holds what
        // this build wrote, and what builds beside it wrote, as a ledger
        // they updated tells.
        WriteLedger(ledgerPath, {written, nowSeconds}, temporaries_.Suffix());
        return;
    }

    struct Found {
        int64_t used;
        uint64_t size;
        fs::path path;
    };
    std::vector<Found> entries;
    uint64_t total = 0;
    const auto now = fs::file_time_type::clock::now();
    std::error_code ec;
    for (fs::directory_iterator top(fs::path(folder_), ec), end; !ec && top != end; top.increment(ec)) {
        if (!top->is_directory(ec) || top->is_symlink(ec)) {
            const std::string name = top->path().filename().string();
            if (TemporaryFiles::IsTemporaryOf(name, kLedgerName))
                TemporaryFiles::RemoveIfStale(*top, now, kStaleTemporary);
            continue;
        }
        std::error_code inner;
        for (fs::directory_iterator it(top->path(), inner); !inner && it != end; it.increment(inner)) {
            const std::string name = it->path().filename().string();
            if (TemporaryFiles::IsTemporaryOf(name, "")) {
                TemporaryFiles::RemoveIfStale(*it, now, kStaleTemporary);
                continue;
            }
            if (!IsEntryName(name) && !EntryPack::IsPackName(name))
                continue;  // not ours: never deleted
            // One look-up per entry tells its size and its last use: a
            // cache holds as many entries as the projects hold files.
            StatIndex::Stamp stamp;
            if (!StatIndex::StampOf(it->path().string(), &stamp))
                continue;
            entries.push_back({stamp.modified, stamp.size, it->path()});
            total += stamp.size;
        }
    }
    if (total > limit_) {
        std::sort(entries.begin(), entries.end(), [](const Found& a, const Found& b) { return a.used < b.used; });
        for (const Found& f : entries) {
            if (total <= limit_)
                break;
            std::error_code e;
            if (fs::remove(f.path, e))
                total -= f.size;
        }
    }
    if (!ec)
        WriteLedger(ledgerPath, {total, nowSeconds}, temporaries_.Suffix());
}
