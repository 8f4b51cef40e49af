#include "SetupWriter.h"

#include "Crc32.h"
#include "File.h"
#include "Lzss.h"
#include "MemberCache.h"
#include "MemberCompressor.h"
#include "StatIndex.h"
#include "Platform.h"
#include "Progress.h"
#include "ScriptPacker.h"
#include "SetupLayout.h"
#include "ToolError.h"

#include <algorithm>
#include <cstdio>
#include <limits>
#include <memory>
#include <vector>

namespace {

constexpr size_t kCopyBlock = size_t(1) << 20;
constexpr uint64_t kAlignment = 8;

// The output while it is being written: removed unless committed.
class PartialFile {
public:
    explicit PartialFile(const std::string& output) : output_(output), temp_(PartialName(output))
    {
        file_ = File(temp_.c_str(), "w+b");
        if (!file_.IsOpen())
            throw ToolError("\"" + temp_ + "\": cannot create the setup's temporary file");
    }
    ~PartialFile()
    {
        if (!committed_) {
            file_.Close();
            platform::RemoveFile(temp_.c_str());
        }
    }
    PartialFile(const PartialFile&) = delete;
    PartialFile& operator=(const PartialFile&) = delete;

    File& Get() { return file_; }
    const std::string& Name() const { return temp_; }

    void Commit()
    {
        if (!file_.Close())
            throw ToolError("\"" + temp_ + "\": cannot write the setup (disk full?)");
        // The old setup is set aside and removed only once the new one has
        // its name, so a rename that fails loses nothing: the old one is put
        // back. Renaming straight onto it would make ext4 write the whole
        // new file out before the rename returns (0.3 s for 120 MB).
        const std::string aside = temp_ + ".old";
        const bool setAside = !platform::FolderExists(output_.c_str()) &&
                              platform::RenameFile(output_.c_str(), aside.c_str());
        if (!platform::RenameFile(temp_.c_str(), output_.c_str())) {
            if (setAside)
                platform::RenameFile(aside.c_str(), output_.c_str());
            throw ToolError("\"" + output_ + "\": cannot replace it with the new setup \"" + temp_ + "\"");
        }
        committed_ = true;
        if (setAside && !platform::RemoveFile(aside.c_str()))
            throw ToolError("\"" + aside + "\": the setup it replaced, set aside, cannot be removed; \"" + output_ +
                            "\" is the new one");
    }

private:
    std::string output_;
    std::string temp_;
    File file_;
    bool committed_ = false;
};

uint64_t CopyStub(const std::string& stub, File& out, const std::string& outName)
{
    File in(stub.c_str(), "rb");
    if (!in.IsOpen())
        throw ToolError("\"" + stub + "\": cannot open the stub");
    std::vector<uint8_t> buffer(kCopyBlock);
    uint64_t total = 0;
    size_t got;
    while ((got = in.Read(buffer.data(), buffer.size())) > 0) {
        if (!out.Write(buffer.data(), got))
            throw ToolError("\"" + outName + "\": write error (disk full?)");
        total += got;
    }
    if (in.Failed())
        throw ToolError("\"" + stub + "\": read error");
    return total;
}

// Moves the `length` bytes at `from` up by `by` bytes, from the end down,
// and zeroes the gap.
void ShiftUp(File& file, uint64_t from, uint64_t length, uint64_t by, const std::string& name)
{
    std::vector<uint8_t> buffer(std::min<uint64_t>(length, kCopyBlock * 4) + 1);
    uint64_t end = from + length;
    while (end > from) {
        const size_t n = static_cast<size_t>(std::min<uint64_t>(end - from, buffer.size()));
        end -= n;
        if (!file.Seek(static_cast<int64_t>(end), SEEK_SET) || file.Read(buffer.data(), n) != n ||
            !file.Seek(static_cast<int64_t>(end + by), SEEK_SET) || !file.Write(buffer.data(), n))
            throw ToolError("\"" + name + "\": cannot move the package behind the padding");
    }
    const uint8_t zeros[kAlignment] = {};
    if (!file.Seek(static_cast<int64_t>(from), SEEK_SET) || !file.Write(zeros, static_cast<size_t>(by)))
        throw ToolError("\"" + name + "\": cannot write the padding");
}

// Fills the place kept for the integrity record at `recordAt`.
void WriteIntegrity(File& file, const layout::IntegrityRecord& record, const std::string& name, uint64_t recordAt)
{
    const std::vector<uint8_t> bytes = layout::EncodeIntegrity(record);
    if (!file.Seek(static_cast<int64_t>(recordAt), SEEK_SET) || !file.Write(bytes.data(), bytes.size()))
        throw ToolError("\"" + name + "\": cannot write the integrity record");
}

}  // namespace

std::string PartialName(const std::string& output)
{
    return output + ".part";
}

SetupSummary WriteSetup(const SetupPlan& plan, const SetupSettings& settings)
{
    SetupSummary summary;
    PartialFile partial(settings.output);
    File& out = partial.Get();
    summary.stubSize = CopyStub(settings.stub, out, partial.Name());

    // The integrity record's place, right behind the program image; it is
    // written once the members' sums are known.
    const uint64_t recordSize = layout::IntegrityRecordSize(plan.Records().size());
    const std::vector<uint8_t> placeholder(static_cast<size_t>(recordSize));
    if (!out.Write(placeholder.data(), placeholder.size()))
        throw ToolError("\"" + partial.Name() + "\": write error (disk full?)");

    std::vector<MemberCompressor::Member> members;
    members.reserve(plan.Records().size());
    uint64_t totalBytes = 0;
    for (const SetupPlan::Record& r : plan.Records()) {
        members.push_back({r.source, r.size, r.stamp, r.stamped});
        totalBytes += r.size;
    }
    Progress progress(settings.progress, members.size(), totalBytes);
    std::unique_ptr<MemberCache> cache;
    std::unique_ptr<StatIndex> index;
    if (!settings.cacheFolder.empty()) {
        cache = std::make_unique<MemberCache>(settings.cacheFolder, settings.cacheLimit);
        index = std::make_unique<StatIndex>(settings.cacheFolder);
    }
    MemberCompressor compressor(settings.threads, settings.memoryBudget, settings.best, cache.get(), index.get());
    // The plain coder streams: the script is compressed while the members are.
    std::unique_ptr<ScriptPacker> script;
    if (!settings.best)
        script = std::make_unique<ScriptPacker>(plan);
    const std::vector<MemberCompressor::Sizes> sizes = compressor.Run(members, out, progress, script.get());
    if (cache) {
        index->Save();
        cache->Trim();
    }
    progress.Finish(members.size(), totalBytes);

    std::vector<uint32_t> packed;
    layout::IntegrityRecord record;
    for (const MemberCompressor::Sizes& s : sizes) {
        packed.push_back(s.packed);
        record.memberCrcs.push_back(s.crc);
        summary.originalBytes += s.original;
        summary.packedBytes += s.packed;
    }
    // The packer was told the script record by record; built anew only when it was not.
    const std::vector<uint8_t> compressed =
        compressor.Pack(script != nullptr && script->Complete() ? script->Text() : plan.Script(packed), script.get());
    const size_t scriptSize = compressed.size();
    summary.scriptSize = static_cast<uint32_t>(scriptSize);
    const uint64_t package = summary.packedBytes + scriptSize + layout::kTrailerSize;
    const uint64_t packageStart = summary.stubSize + recordSize;
    summary.padding = (kAlignment - (packageStart + package) % kAlignment) % kAlignment;
    // The readers take 64-bit offsets, but Windows does not start a program
    // file of 4 GiB or more, whatever lies behind its image.
    const uint64_t setupSize = packageStart + summary.padding + package;
    if (setupSize > std::numeric_limits<uint32_t>::max())
        throw ToolError("\"" + settings.output + "\": the setup would be " + std::to_string(setupSize) +
                        " bytes; Windows does not start a program file of 4 GiB or more (at most 4294967295 bytes)");
    uint8_t trailer[layout::kTrailerSize];
    layout::EncodeTrailer(summary.scriptSize, trailer);
    if (!out.Write(compressed.data(), scriptSize) || !out.Write(trailer, sizeof trailer))
        throw ToolError("\"" + partial.Name() + "\": write error (disk full?)");
    record.packageSize = package;
    record.scriptCrc = Crc32(trailer, sizeof trailer, Crc32(compressed.data(), scriptSize));

    // Shifting moves the package whole, so the sums still hold.
    if (summary.padding > 0)
        ShiftUp(out, packageStart, package, summary.padding, partial.Name());
    summary.integrityBytes = recordSize;
    summary.setupSize = setupSize;
    WriteIntegrity(out, record, partial.Name(), summary.stubSize);
    partial.Commit();
    return summary;
}
