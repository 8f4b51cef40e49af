#include "PackageIntegrity.h"

#include "Crc32.h"
#include "ScriptText.h"
#include "SetupLayout.h"

#include <algorithm>

namespace {

constexpr size_t kBlock = size_t(1) << 20;

// The CRC of `size` bytes of the package at `at`; false when unreadable.
bool CrcOf(PackageReader& reader, uint64_t at, uint64_t size, std::vector<uint8_t>& block, uint32_t* crc)
{
    *crc = 0;
    while (size > 0) {
        const size_t n = static_cast<size_t>(std::min<uint64_t>(size, block.size()));
        if (!reader.ReadAt(at, block.data(), n))
            return false;
        *crc = Crc32(block.data(), n, *crc);
        at += n;
        size -= n;
    }
    return true;
}

// The compressed sizes of the script's file records, as the setup reads them.
bool RecordSizes(const std::vector<uint8_t>& script, std::vector<uint32_t>* sizes)
{
    for (const std::string& value : ScriptText::Parse(script).RecordValues()) {
        ScriptRecord record;
        std::string error;
        if (!ScriptText::ParseRecord(value, &record, &error))
            return false;
        sizes->push_back(record.TamComp);
    }
    return true;
}

IntegrityReport Damaged(const std::string& part)
{
    IntegrityReport report;
    report.state = IntegrityReport::State::kDamaged;
    report.damaged.push_back(part);
    return report;
}

}  // namespace

IntegrityReport CheckIntegrity(PackageReader& reader)
{
    const uint64_t at = reader.ImageEnd();
    const uint64_t end = reader.End();
    uint8_t header[layout::kIntegrityHeaderSize];
    uint32_t members = 0;
    if (at == 0 || end - at < sizeof header || !reader.ReadAt(at, header, sizeof header) ||
        !layout::IntegrityHeader(header, &members))
        return IntegrityReport();

    const uint64_t recordSize = layout::IntegrityRecordSize(members);
    layout::IntegrityRecord record;
    std::vector<uint8_t> bytes;
    if (recordSize <= end - at) {
        bytes.resize(static_cast<size_t>(recordSize));
        if (!reader.ReadAt(at, bytes.data(), bytes.size()))
            bytes.clear();
    }
    if (!layout::DecodeIntegrity(bytes, &record))
        return Damaged("the integrity record behind the program");
    if (record.packageSize > end - at - recordSize || record.packageSize < layout::kTrailerSize)
        return Damaged("the package's length (the file is cut short or has grown)");

    std::vector<uint8_t> block(kBlock);
    const uint64_t scriptStart = reader.ScriptStart();
    uint32_t crc = 0;
    if (!CrcOf(reader, scriptStart, end - scriptStart, block, &crc) || crc != record.scriptCrc)
        return Damaged("the setup script (or the trailer behind it)");

    std::vector<uint8_t> script;
    std::vector<uint32_t> sizes;
    if (!reader.ReadScript(&script) || !RecordSizes(script, &sizes) || sizes.size() != members)
        return Damaged("the setup script's file records");
    uint64_t packed = 0;
    for (const uint32_t size : sizes)
        packed += size;
    if (packed + (end - scriptStart) != record.packageSize)
        return Damaged("the package's length (the file is cut short or has grown)");

    // The sizes add up to the recorded length, so every member lies behind
    // the record, where the walk finds it.
    std::vector<layout::MemberPlace> places;
    if (!layout::WalkMembers(reader.Bounds(), reader.ScriptSize(), sizes, &places))
        return Damaged("the package's length (the file is cut short or has grown)");
    IntegrityReport report;
    report.state = IntegrityReport::State::kIntact;
    for (uint32_t k = 0; k < members; ++k) {
        if (!CrcOf(reader, places[k].start, sizes[k], block, &crc) || crc != record.memberCrcs[k]) {
            report.state = IntegrityReport::State::kDamaged;
            report.damaged.push_back("member " + std::to_string(k) + " (" + ScriptText::RecordKey(static_cast<int>(k)) +
                                     ")");
        }
    }
    return report;
}
