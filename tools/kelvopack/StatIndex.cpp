#include "StatIndex.h"

#include "Crc32.h"
#include "File.h"
#include "LittleEndian.h"
#include "Platform.h"
#include "TemporaryFiles.h"

#include <cstring>
#include <filesystem>
#include <system_error>

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace fs = std::filesystem;

namespace {

constexpr char kMagic[4] = {'K', 'V', 'P', 'I'};
constexpr size_t kStampBytes = 40;
constexpr size_t kEntryFixed = kStampBytes + 32 + 4;
constexpr size_t kLargestIndex = size_t(1) << 30;

}  // namespace

bool StatIndex::Stamp::operator==(const Stamp& other) const
{
    return size == other.size && modified == other.modified && changed == other.changed && inode == other.inode &&
           device == other.device;
}

bool StatIndex::StampOf(const std::string& path, Stamp* stamp)
{
    *stamp = Stamp();
#ifdef _WIN32
    return platform::FileExists(path.c_str()) && platform::FileStamp(path.c_str(), &stamp->size, &stamp->modified);
#else
    struct stat st {};
    if (stat(platform::NativePath(path.c_str()).c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    stamp->size = static_cast<uint64_t>(st.st_size);
    stamp->modified = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    stamp->changed = static_cast<int64_t>(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec;
    stamp->inode = static_cast<uint64_t>(st.st_ino);
    stamp->device = static_cast<uint64_t>(st.st_dev);
    return true;
#endif
}

StatIndex::StatIndex(std::string folder) : folder_(std::move(folder))
{
    Load();
}

std::string StatIndex::Path() const
{
    return (fs::path(folder_) / kFileName).string();
}

void StatIndex::Load()
{
    const std::string path = Path();
    Stamp written;
    if (!StampOf(path, &written) || written.size > kLargestIndex)
        return;
    File file(path.c_str(), "rb");
    std::vector<uint8_t> bytes;
    if (!file.IsOpen() || !file.ReadRest(&bytes, kLargestIndex) || bytes.size() < 16)
        return;
    const uint8_t* p = bytes.data();
    const uint8_t* const end = p + bytes.size() - 4;
    if (std::memcmp(p, kMagic, 4) != 0 || Le32(p + 4) != kVersion || Le32(end) != Crc32(p, bytes.size() - 4))
        return;
    const uint32_t count = Le32(p + 8);
    p += 12;
    std::unordered_map<std::string, Known> known;
    for (uint32_t i = 0; i < count; ++i) {
        if (static_cast<size_t>(end - p) < kEntryFixed)
            return;
        Known k;
        k.stamp.size = Le64(p);
        k.stamp.modified = static_cast<int64_t>(Le64(p + 8));
        k.stamp.changed = static_cast<int64_t>(Le64(p + 16));
        k.stamp.inode = Le64(p + 24);
        k.stamp.device = Le64(p + 32);
        std::memcpy(k.digest.data(), p + kStampBytes, k.digest.size());
        const uint32_t n = Le32(p + kStampBytes + 32);
        p += kEntryFixed;
        if (static_cast<size_t>(end - p) < n)
            return;
        known[std::string(reinterpret_cast<const char*>(p), n)] = k;
        p += n;
    }
    if (p != end)
        return;
    known_ = std::move(known);
    // The file's own time, on the clock that stamps the sources.
    writtenAt_ = written.modified;
}

bool StatIndex::Lookup(const std::string& path, const Stamp& stamp, Digest* digest) const
{
    const auto found = known_.find(path);
    if (found == known_.end() || found->second.stamp != stamp)
        return false;
    if (stamp.modified >= writtenAt_ || stamp.changed >= writtenAt_)
        return false;  // racy: may have changed again within the same tick
    *digest = found->second.digest;
    return true;
}

void StatIndex::Record(const std::string& path, const Stamp& stamp, const Digest& digest)
{
    std::lock_guard<std::mutex> lock(mutex_);
    learnt_[path] = {stamp, digest};
    forgotten_.erase(path);
}

void StatIndex::Forget(const std::string& path)
{
    std::lock_guard<std::mutex> lock(mutex_);
    learnt_.erase(path);
    forgotten_.insert(path);
}

std::vector<uint8_t> StatIndex::Encode(const std::vector<std::pair<std::string, Known>>& entries)
{
    std::vector<uint8_t> out(kMagic, kMagic + 4);
    AppendLe32(&out, kVersion);
    AppendLe32(&out, static_cast<uint32_t>(entries.size()));
    for (const auto& [path, k] : entries) {
        AppendLe64(&out, k.stamp.size);
        AppendLe64(&out, static_cast<uint64_t>(k.stamp.modified));
        AppendLe64(&out, static_cast<uint64_t>(k.stamp.changed));
        AppendLe64(&out, k.stamp.inode);
        AppendLe64(&out, k.stamp.device);
        out.insert(out.end(), k.digest.begin(), k.digest.end());
        AppendLe32(&out, static_cast<uint32_t>(path.size()));
        out.insert(out.end(), path.begin(), path.end());
    }
    AppendLe32(&out, Crc32(out.data(), out.size()));
    return out;
}

void StatIndex::Save() const
{
    std::vector<std::pair<std::string, Known>> entries;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        entries.assign(learnt_.begin(), learnt_.end());
        for (const auto& [path, k] : known_) {
            if (entries.size() >= kMaxEntries)
                break;
            if (learnt_.count(path) == 0 && forgotten_.count(path) == 0)
                entries.emplace_back(path, k);
        }
    }
    const std::vector<uint8_t> bytes = Encode(entries);
    std::error_code ec;
    fs::create_directories(fs::path(folder_), ec);
    const std::string temporary = Path() + TemporaryFiles().Suffix();
    {
        File file(temporary.c_str(), "wb");
        if (!file.IsOpen() || !file.Write(bytes.data(), bytes.size()) || !file.Close()) {
            fs::remove(fs::path(temporary), ec);
            return;
        }
    }
    fs::rename(fs::path(temporary), fs::path(Path()), ec);
    if (ec)
        fs::remove(fs::path(temporary), ec);
    RemoveStaleTemporaries();
}

void StatIndex::RemoveStaleTemporaries() const
{
    const auto now = fs::file_time_type::clock::now();
    std::error_code ec;
    for (fs::directory_iterator it(fs::path(folder_), ec), end; !ec && it != end; it.increment(ec)) {
        if (TemporaryFiles::IsTemporaryOf(it->path().filename().string(), kFileName))
            TemporaryFiles::RemoveIfStale(*it, now, kStaleTemporary);
    }
}
