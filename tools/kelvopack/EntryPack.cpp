#include "EntryPack.h"

#include "Crc32.h"
#include "LittleEndian.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace {

constexpr char kMagic[4] = {'K', 'V', 'P', 'K'};
constexpr const char kExtension[] = ".pack";
constexpr size_t kExtensionSize = sizeof kExtension - 1;

}  // namespace

bool EntryPack::IsPackName(const std::string& name)
{
    return name.size() > kExtensionSize &&
           name.compare(name.size() - kExtensionSize, kExtensionSize, kExtension) == 0 &&
           std::all_of(name.begin(), name.end() - kExtensionSize,
                       [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); });
}

bool EntryPack::ReadTable(File& file, std::vector<Slot>* slots)
{
    const int64_t length = file.Size();
    uint8_t footer[kFooterSize];
    if (length < static_cast<int64_t>(kFooterSize) ||
        !file.ReadAt(static_cast<uint64_t>(length) - kFooterSize, footer, sizeof footer) ||
        std::memcmp(footer + 12, kMagic, 4) != 0 || Le32(footer + 8) != kVersion)
        return false;
    const uint64_t count = Le32(footer);
    if (count * kSlotSize > static_cast<uint64_t>(length) - kFooterSize)
        return false;
    const uint64_t tableAt = static_cast<uint64_t>(length) - kFooterSize - count * kSlotSize;
    std::vector<uint8_t> table(static_cast<size_t>(count * kSlotSize));
    if (!file.ReadAt(tableAt, table.data(), table.size()) || Crc32(table.data(), table.size()) != Le32(footer + 4))
        return false;
    slots->clear();
    slots->reserve(static_cast<size_t>(count));
    for (size_t i = 0; i < count; ++i) {
        const uint8_t* p = table.data() + i * kSlotSize;
        Slot slot;
        std::memcpy(slot.key.data(), p, slot.key.size());
        slot.at = Le64(p + 32);
        slot.size = Le64(p + 40);
        // Every entry lies before the table.
        if (slot.at > tableAt || slot.size > tableAt - slot.at)
            return false;
        slots->push_back(slot);
    }
    return true;
}

EntryPack::EntryPack(std::string path, std::string temporary) : path_(std::move(path)), temporary_(std::move(temporary))
{
    file_ = File(temporary_.c_str(), "w+b");
    if (!file_.IsOpen()) {
        std::error_code ec;
        fs::create_directories(fs::path(temporary_).parent_path(), ec);
        file_ = File(temporary_.c_str(), "w+b");
    }
    failed_ = !file_.IsOpen();
}

EntryPack::~EntryPack()
{
    if (!temporary_.empty())
        Abandon();
}

void EntryPack::Abandon()
{
    file_.Close();
    std::error_code ec;
    fs::remove(fs::path(temporary_), ec);
    temporary_.clear();
    failed_ = true;
}

bool EntryPack::Add(const Key& key, const std::vector<uint8_t>& entry)
{
    if (failed_)
        return false;
    if (!file_.Write(entry.data(), entry.size())) {
        Abandon();
        return false;
    }
    slots_.push_back({key, at_, entry.size()});
    at_ += entry.size();
    return true;
}

bool EntryPack::Entry(size_t i, std::vector<uint8_t>* entry)
{
    if (failed_ || i >= slots_.size() || !file_.Flush())
        return false;
    entry->resize(static_cast<size_t>(slots_[i].size));
    const bool read = file_.ReadAt(slots_[i].at, entry->data(), entry->size());
    // Back to the end, where the next entry goes.
    return file_.Seek(0, SEEK_END) && read;
}

bool EntryPack::Finish()
{
    if (failed_)
        return false;
    std::vector<uint8_t> table(slots_.size() * kSlotSize + kFooterSize);
    for (size_t i = 0; i < slots_.size(); ++i) {
        uint8_t* p = table.data() + i * kSlotSize;
        std::memcpy(p, slots_[i].key.data(), slots_[i].key.size());
        PutLe64(p + 32, slots_[i].at);
        PutLe64(p + 40, slots_[i].size);
    }
    uint8_t* footer = table.data() + slots_.size() * kSlotSize;
    PutLe32(footer, static_cast<uint32_t>(slots_.size()));
    PutLe32(footer + 4, Crc32(table.data(), slots_.size() * kSlotSize));
    PutLe32(footer + 8, kVersion);
    std::memcpy(footer + 12, kMagic, 4);
    std::error_code ec;
    if (!file_.Write(table.data(), table.size()) || !file_.Close() ||
        (fs::rename(fs::path(temporary_), fs::path(path_), ec), ec)) {
        Abandon();
        return false;
    }
    at_ += table.size();
    temporary_.clear();
    return true;
}
