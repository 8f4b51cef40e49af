#include "PackageReader.h"

#include "PeImage.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

constexpr size_t kChunk = size_t(1) << 20;
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

bool PackageReader::Open(const char* path, std::string* error)
{
    path_ = path;
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
    PeImage image;
    imageEnd_ = image.Read(file_, fileSize_) ? image.ImageEnd() : 0;
    end_ = PackageEnd(file_, fileSize_);
    uint8_t trailer[4];
    if (end_ < sizeof trailer) {
        *error = "\"" + path_ + "\" is too short to hold a package (" + std::to_string(end_) + " bytes)";
        return false;
    }
    if (!file_.Seek(static_cast<int64_t>(end_ - 4), SEEK_SET) || file_.Read(trailer, 4) != 4) {
        *error = "cannot read the trailer of \"" + path_ + "\"";
        return false;
    }
    scriptSize_ = static_cast<uint32_t>(trailer[0]) | (static_cast<uint32_t>(trailer[1]) << 8) |
                  (static_cast<uint32_t>(trailer[2]) << 16) | (static_cast<uint32_t>(trailer[3]) << 24);
    if (static_cast<uint64_t>(scriptSize_) + 4 > end_) {
        *error = "the trailer of \"" + path_ + "\" gives a script of " + std::to_string(scriptSize_) +
                 " bytes, more than the file holds: not a setup, or a damaged one";
        return false;
    }
    return true;
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
    uint64_t index = 4 + static_cast<uint64_t>(scriptSize_);
    for (size_t k = sizes.size(); k-- > 0;) {
        index += sizes[k];
        if (index > end_) {
            *error = "member " + std::to_string(k) + " would begin " + std::to_string(index - end_) +
                     " bytes in front of the start of \"" + path_ + "\"";
            return false;
        }
        (*starts)[k] = end_ - index;
    }
    return true;
}

bool PackageReader::Decode(uint64_t start, uint32_t size, LzssDecoder::Sink& sink, Decoded* result,
                           std::string* error)
{
    error->clear();
    *result = Decoded();
    if (start > end_ || size > end_ - start) {
        *error = "a member lies outside \"" + path_ + "\"";
        return false;
    }
    if (!file_.Seek(static_cast<int64_t>(start), SEEK_SET)) {
        *error = "cannot read \"" + path_ + "\"";
        return false;
    }
    LzssDecoder decoder;
    std::vector<uint8_t> input(kChunk + 2);
    size_t held = 0;
    uint64_t left = size;
    for (;;) {
        const size_t want = static_cast<size_t>(std::min<uint64_t>(left, input.size() - held));
        if (file_.Read(input.data() + held, want) != want) {
            *error = "cannot read \"" + path_ + "\"";
            return false;
        }
        left -= want;
        held += want;
        const bool last = left == 0;
        size_t consumed = 0;
        const bool ok = decoder.Decode(input.data(), held, last, &consumed, sink);
        result->bytesIn += consumed;
        result->bytesOut = decoder.BytesOut();
        if (!ok)
            return false;
        if (last)
            return true;
        held -= consumed;
        std::memmove(input.data(), input.data() + consumed, held);
    }
}
