#include "PackageReader.h"

#include "ProgressSink.h"

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

PackageReader::PackageReader(size_t blockSize) : blockSize_(std::max<size_t>(blockSize, 4)) {}

bool PackageReader::OpenFile(const char* path, std::string* error)
{
    path_ = path;
    bufferAt_ = 0;
    held_ = 0;
    filePos_ = 0;
    file_ = File(path, "rb");
    if (!file_.IsOpen()) {
        *error = "cannot open \"" + path_ + "\" for reading";
        return false;
    }
    const int64_t size = file_.Size();
    if (size < 0) {
        *error = "cannot read \"" + path_ + "\"";
        return false;
    }
    fileSize_ = static_cast<uint64_t>(size);
    // A small setup needs no block-sized buffer.
    buffer_.resize(static_cast<size_t>(std::min<uint64_t>(blockSize_, std::max<uint64_t>(fileSize_, 4))));
    const layout::PackageBounds bounds = layout::FindPackageBounds(file_, fileSize_);
    imageEnd_ = bounds.imageEnd;
    end_ = bounds.end;
    filePos_ = UINT64_MAX;  // the headers were read: seek before the next read
    return true;
}

bool PackageReader::Open(const char* path, std::string* error)
{
    if (!OpenFile(path, error))
        return false;
    uint8_t trailer[layout::kTrailerSize];
    if (end_ < sizeof trailer) {
        *error = "\"" + path_ + "\" is too short to hold a package (" + std::to_string(end_) + " bytes)";
        return false;
    }
    if (!ReadAt(end_ - sizeof trailer, trailer, sizeof trailer)) {
        *error = "cannot read the trailer of \"" + path_ + "\"";
        return false;
    }
    scriptSize_ = layout::DecodeTrailer(trailer);
    if (static_cast<uint64_t>(scriptSize_) + layout::kTrailerSize > end_) {
        *error = "the trailer of \"" + path_ + "\" gives a script of " + std::to_string(scriptSize_) +
                 " bytes, more than the file holds: not a setup, or a damaged one";
        return false;
    }
    return true;
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

bool PackageReader::ReadScript(std::vector<uint8_t>* text, std::string* error)
{
    text->clear();
    VectorSink sink(text);
    Decoded decoded;
    if (!Decode(ScriptStart(), scriptSize_, sink, &decoded, error)) {
        if (error->empty())
            *error = "the setup script of \"" + path_ + "\" decodes to more than 256 MB: damaged package";
        return false;
    }
    if (decoded.bytesIn != scriptSize_) {
        *error = "the setup script of \"" + path_ + "\" ends in the middle of an item: damaged package";
        return false;
    }
    return true;
}

bool PackageReader::Locate(const std::vector<uint32_t>& sizes, std::vector<uint64_t>* starts,
                           std::string* error) const
{
    starts->assign(sizes.size(), 0);
    uint64_t index = layout::kTrailerSize + static_cast<uint64_t>(scriptSize_);
    for (size_t k = sizes.size(); k-- > 0;) {
        index += sizes[k];
        if (layout::PlaceMember(Bounds(), index, &(*starts)[k]) == layout::Placement::kBeforeFile) {
            *error = "member " + std::to_string(k) + " would begin " + std::to_string(index - end_) +
                     " bytes in front of the start of \"" + path_ + "\"";
            return false;
        }
    }
    return true;
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

bool PackageReader::Decode(uint64_t start, uint32_t size, LzssDecoder::Sink& out, Decoded* result,
                           std::string* error, ProgressHook* hook)
{
    error->clear();
    *result = Decoded();
    ProgressSink sink(out, hook);
    if (start > end_ || size > end_ - start) {
        *error = "a member lies outside \"" + path_ + "\"";
        return false;
    }
    // Members read from the last to the first, as the installer reads them,
    // find those in front already read: the block then ends with this one.
    if (start < bufferAt_ && size < buffer_.size()) {
        const uint64_t memberEnd = start + size;
        if (!Refill(memberEnd > buffer_.size() ? memberEnd - buffer_.size() : 0)) {
            *error = "cannot read \"" + path_ + "\"";
            return false;
        }
    }
    decoder_.Reset();
    uint64_t pos = start;
    uint64_t left = size;
    for (;;) {
        // A cut item needs at most two bytes more than the decoder was given.
        const uint64_t need = std::min<uint64_t>(left, 3);
        if (pos < bufferAt_ || pos + need > bufferAt_ + held_) {
            if (!Refill(pos) || bufferAt_ + held_ < pos + need) {
                *error = "cannot read \"" + path_ + "\"";
                return false;
            }
        }
        const size_t avail = static_cast<size_t>(std::min<uint64_t>(left, bufferAt_ + held_ - pos));
        const bool last = avail == left;
        size_t consumed = 0;
        const bool ok = decoder_.Decode(buffer_.data() + (pos - bufferAt_), avail, last, &consumed, sink);
        result->bytesIn += consumed;
        result->bytesOut = decoder_.BytesOut();
        if (!ok) {
            result->canceled = sink.Canceled();
            return false;
        }
        if (last)
            return true;
        pos += consumed;
        left -= consumed;
        if (consumed < avail && !Refill(pos)) {
            *error = "cannot read \"" + path_ + "\"";
            return false;
        }
    }
}
