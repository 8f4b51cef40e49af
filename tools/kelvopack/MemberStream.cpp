#include "MemberStream.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

MemberStream::MemberStream(size_t blockSize) : buffer_(std::max<size_t>(blockSize, 4)) {}

bool MemberStream::Open(const std::string& path, uint64_t end, std::string* error)
{
    path_ = path;
    file_ = File(path.c_str(), "rb");
    if (!file_.IsOpen()) {
        *error = "cannot open \"" + path + "\" for reading";
        return false;
    }
    end_ = end;
    bufferAt_ = 0;
    held_ = 0;
    filePos_ = 0;
    return true;
}

bool MemberStream::Refill(uint64_t at)
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

bool MemberStream::Decode(uint64_t start, uint32_t size, LzssDecoder::Sink& sink, PackageReader::Decoded* result,
                          std::string* error)
{
    error->clear();
    *result = PackageReader::Decoded();
    if (start > end_ || size > end_ - start) {
        *error = "a member lies outside \"" + path_ + "\"";
        return false;
    }
    decoder_.Reset();
    uint64_t pos = start;
    uint64_t left = size;
    for (;;) {
        const uint64_t bufferEnd = bufferAt_ + held_;
        // A cut item needs at most two more bytes than the decoder was given.
        const uint64_t need = std::min<uint64_t>(left, 3);
        if (pos < bufferAt_ || pos + need > bufferEnd) {
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
        if (!ok)
            return false;
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
