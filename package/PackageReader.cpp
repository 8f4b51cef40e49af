#include "PackageReader.h"

#include "FileSink.h"
#include "ProgressSink.h"
#include "UnfinishedFile.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

// A script holds a few hundred bytes per file: anything near this is damage.
constexpr size_t kMaxScript = size_t(256) << 20;

class VectorSink : public LzssDecoder::Sink {
public:
    explicit VectorSink(std::vector<uint8_t>* out) : out_(out) {}
    bool Put(const uint8_t* data, size_t size) override
    {
        if (out_->size() + size > kMaxScript)
            return false;
        out_->insert(out_->end(), data, data + size);
        return true;
    }

private:
    std::vector<uint8_t>* out_;
};

}  // namespace

PackageReader::PackageReader(size_t blockSize) : blockSize_(std::max<size_t>(blockSize, 4))
{
}

Status PackageReader::Failure(Fault fault, const std::string& text) const
{
    return Status::Failure(fault, text, "Error!");
}

Status PackageReader::OpenFile(const char* path)
{
    path_ = path;
    bufferAt_ = 0;
    held_ = 0;
    filePos_ = 0;
    file_ = File(path, "rb");
    if (!file_.IsOpen())
        return Failure(Fault::kUnreadable, "cannot open \"" + path_ + "\" for reading");
    const int64_t size = file_.Size();
    if (size < 0)
        return Failure(Fault::kUnreadable, "cannot read \"" + path_ + "\"");
    fileSize_ = static_cast<uint64_t>(size);
    // A small setup needs no block-sized buffer.
    buffer_.resize(static_cast<size_t>(std::min<uint64_t>(blockSize_, std::max<uint64_t>(fileSize_, 4))));
    const layout::PackageBounds bounds = layout::FindPackageBounds(file_, fileSize_);
    imageEnd_ = bounds.imageEnd;
    end_ = bounds.end;
    filePos_ = UINT64_MAX;  // the headers were read: seek before the next read
    return Status();
}

Status PackageReader::ReadTrailer()
{
    scriptSize_ = 0;
    uint8_t trailer[layout::kTrailerSize];
    if (end_ < sizeof trailer)
        return Failure(Fault::kDamaged,
                       "\"" + path_ + "\" is too short to hold a package (" + std::to_string(end_) + " bytes)");
    if (!ReadAt(end_ - sizeof trailer, trailer, sizeof trailer))
        return Failure(Fault::kUnreadable, "cannot read the trailer of \"" + path_ + "\"");
    const uint32_t scriptSize = layout::DecodeTrailer(trailer);
    if (static_cast<uint64_t>(scriptSize) + layout::kTrailerSize > end_)
        return Failure(Fault::kDamaged, "the trailer of \"" + path_ + "\" gives a script of " +
                                            std::to_string(scriptSize) +
                                            " bytes, more than the file holds: not a setup, or a damaged one");
    scriptSize_ = scriptSize;
    return Status();
}

Status PackageReader::Open(const char* path)
{
    const Status opened = OpenFile(path);
    return opened ? ReadTrailer() : opened;
}

bool PackageReader::ReadAt(uint64_t at, void* out, size_t size)
{
    if (at > end_ || size > end_ - at)
        return false;
    if (at != filePos_ && !file_.Seek(static_cast<int64_t>(at), SEEK_SET))
        return false;
    const size_t got = file_.Read(out, size);
    filePos_ = at + got;
    return got == size;
}

Status PackageReader::ReadScript(std::vector<uint8_t>* text)
{
    text->clear();
    VectorSink sink(text);
    Decoded decoded;
    const Status status = Decode(ScriptStart(), scriptSize_, sink, &decoded);
    if (status.What() == Fault::kCannotWrite)
        return Failure(Fault::kDamaged,
                       "the setup script of \"" + path_ + "\" decodes to more than 256 MB: damaged package");
    if (!status)
        return status;
    if (decoded.bytesIn != scriptSize_)
        return Failure(Fault::kDamaged,
                       "the setup script of \"" + path_ + "\" ends in the middle of an item: damaged package");
    return Status();
}

Status PackageReader::ExtractTo(uint64_t start, uint32_t size, uint64_t original, const char* target,
                                ProgressHook* hook, uint64_t* written)
{
    if (written != nullptr)
        *written = 0;
    UnfinishedFile unfinished;  // outlives `out`, which is closed first
    File out(target, "wb");
    if (!out.IsOpen())
        return Failure(Fault::kCannotCreate, "cannot create \"" + std::string(target) + "\"");
    unfinished.Arm(target);
    FileSink sink(out);
    Decoded decoded;
    Status status = Decode(start, size, sink, &decoded, hook);
    if (written != nullptr)
        *written = decoded.bytesOut;
    const bool closed = out.Close();
    if (status.What() == Fault::kCannotWrite || (status && !closed))
        return Failure(Fault::kCannotWrite, "cannot write \"" + std::string(target) + "\"");
    if (!status)
        return status;
    if (original != kAnySize && (decoded.bytesIn != size || decoded.bytesOut != original))
        return Failure(Fault::kDamaged, "the member is damaged (" + std::to_string(decoded.bytesOut) +
                                            " bytes decoded, the record says " + std::to_string(original) + ")");
    if (decoded.bytesIn != size)
        return Failure(Fault::kDamaged, "the member ends in the middle of an item");
    unfinished.Finished();
    return Status();
}

bool PackageReader::Refill(uint64_t at)
{
    const uint64_t bufferEnd = bufferAt_ + held_;
    if (at >= bufferAt_ && at <= bufferEnd) {
        // Keep what is still ahead, then read on from where the buffer ends.
        const size_t keep = static_cast<size_t>(bufferEnd - at);
        std::memmove(buffer_.data(), buffer_.data() + (at - bufferAt_), keep);
        held_ = keep;
    } else {
        held_ = 0;
    }
    bufferAt_ = at;
    const uint64_t readAt = bufferAt_ + held_;
    const size_t want = static_cast<size_t>(std::min<uint64_t>(buffer_.size() - held_, end_ - readAt));
    if (want == 0)
        return true;
    if (readAt != filePos_ && !file_.Seek(static_cast<int64_t>(readAt), SEEK_SET))
        return false;
    const size_t got = file_.Read(buffer_.data() + held_, want);
    filePos_ = readAt + got;
    held_ += got;
    return got == want;
}

Status PackageReader::Decode(uint64_t start, uint32_t size, LzssDecoder::Sink& out, Decoded* result, ProgressHook* hook)
{
    *result = Decoded();
    ProgressSink sink(out, hook);
    if (start > end_ || size > end_ - start)
        return Failure(Fault::kDamaged, "a member lies outside \"" + path_ + "\"");
    const Status unreadable = Failure(Fault::kUnreadable, "cannot read \"" + path_ + "\"");
    // Members read from the last to the first, as the installer reads them,
    // find those in front already read: the block then ends with this one.
    if (start < bufferAt_ && size < buffer_.size()) {
        const uint64_t memberEnd = start + size;
        if (!Refill(memberEnd > buffer_.size() ? memberEnd - buffer_.size() : 0))
            return unreadable;
    }
    decoder_.Reset();
    uint64_t pos = start;
    uint64_t left = size;
    for (;;) {
        // A cut item needs at most two bytes more than the decoder was given.
        const uint64_t need = std::min<uint64_t>(left, 3);
        if (pos < bufferAt_ || pos + need > bufferAt_ + held_) {
            if (!Refill(pos) || bufferAt_ + held_ < pos + need)
                return unreadable;
        }
        const size_t avail = static_cast<size_t>(std::min<uint64_t>(left, bufferAt_ + held_ - pos));
        const bool last = avail == left;
        size_t consumed = 0;
        const bool ok = decoder_.Decode(buffer_.data() + (pos - bufferAt_), avail, last, &consumed, sink);
        result->bytesIn += consumed;
        result->bytesOut = decoder_.BytesOut();
        if (!ok) {
            if (sink.Canceled())
                return Status::Canceled();
            return Failure(Fault::kCannotWrite, "cannot write the decoded bytes of a member of \"" + path_ + "\"");
        }
        if (last)
            return Status();
        pos += consumed;
        left -= consumed;
        if (consumed < avail && !Refill(pos))
            return unreadable;
    }
}
