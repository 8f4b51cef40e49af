#include "LzssDecoder.h"

#include <algorithm>
#include <cstring>

namespace lzss {

namespace {

constexpr unsigned kRingMask = kRingSize - 1;
// A group decoded without bounds checks needs this much input and output
// room: eight references, and the 24-byte wild copy of the last one; the
// eight-byte copy of a run of literals may read up to seven bytes beyond.
constexpr size_t kFastInput = kMaxGroupSize + 8;
constexpr size_t kFastOutput = 8 * kMaxMatch + 8;

// Distance back from the write position w to ring position pos: 1..4096.
inline unsigned Distance(unsigned w, unsigned pos)
{
    return ((w - pos - 1) & kRingMask) + 1;
}

// Initial ring content seen through a negative stream offset (-4096..-1).
inline uint8_t InitialByte(int64_t offset)
{
    return offset >= -static_cast<int64_t>(kFirstPosition) ? kFillByte : 0;
}

inline void Copy8(uint8_t* to, const uint8_t* from)
{
    uint64_t v;
    std::memcpy(&v, from, 8);
    std::memcpy(to, &v, 8);
}

// One reference, with every check: the start of the stream, where the ring
// still holds its initial content, and short distances.
inline void CopyChecked(uint8_t* op, uint64_t written, unsigned d, unsigned count)
{
    for (unsigned k = 0; k < count; ++k) {
        const int64_t from = static_cast<int64_t>(written + k) - static_cast<int64_t>(d);
        op[k] = from < 0 ? InitialByte(from) : op[static_cast<ptrdiff_t>(k) - static_cast<ptrdiff_t>(d)];
    }
}

}  // namespace

DecodeStop DecodeItems(const uint8_t** ipp, const uint8_t* iend, uint8_t* base, uint8_t** opp, uint8_t* oend,
                       uint64_t origin, unsigned* flagsp)
{
    const uint8_t* ip = *ipp;
    uint8_t* op = *opp;
    unsigned flags = *flagsp;
    // Ring write position of window offset 0.
    const unsigned bias = static_cast<unsigned>((kFirstPosition + origin) & kRingMask);
    DecodeStop stop;

    for (;;) {
        const uint64_t written = origin + static_cast<uint64_t>(op - base);
        if (flags <= 1 && written >= static_cast<uint64_t>(kRingSize) && static_cast<size_t>(iend - ip) >= kFastInput &&
            static_cast<size_t>(oend - op) >= kFastOutput) {
            // A whole group, no checks needed: the ring is fully written, so
            // every reference lies inside the window. Literals are copied a
            // run at a time (eight bytes, of which the run's are kept), so
            // that the loop turns once per reference, not once per item.
            unsigned f = *ip++;
            if (f == 0xFF) {
                Copy8(op, ip);
                op += 8;
                ip += 8;
                continue;
            }
            unsigned items = 8;
            for (;;) {
                const unsigned run = static_cast<unsigned>(__builtin_ctz(~f));
                Copy8(op, ip);
                op += run;
                ip += run;
                f >>= run;
                items -= run;
                if (items == 0)
                    break;
                const unsigned b0 = ip[0];
                const unsigned b1 = ip[1];
                ip += 2;
                const unsigned pos = b0 | ((b1 & 0xF0) << 4);
                const unsigned count = (b1 & 0x0F) + kThreshold + 1;
                const unsigned w = (bias + static_cast<unsigned>(op - base)) & kRingMask;
                const unsigned d = Distance(w, pos);
                const uint8_t* from = op - d;
                if (d >= 8) {
                    Copy8(op, from);
                    Copy8(op + 8, from + 8);
                    Copy8(op + 16, from + 16);
                } else {
                    for (unsigned i = 0; i < count; ++i)
                        op[i] = from[i];
                }
                op += count;
                f >>= 1;
                if (--items == 0)
                    break;
            }
            continue;
        }

        // One item at a time, checking both ends.
        const uint8_t* p = ip;
        unsigned f = flags;
        if (f <= 1) {
            if (p == iend) {
                stop = DecodeStop::kInput;
                break;
            }
            f = *p++ | 0x100u;
        }
        if (f & 1) {
            if (p == iend) {
                stop = DecodeStop::kInput;
                break;
            }
            if (op == oend) {
                stop = DecodeStop::kOutput;
                break;
            }
            *op++ = *p++;
        } else {
            if (iend - p < 2) {
                stop = DecodeStop::kInput;
                break;
            }
            const unsigned pos = p[0] | ((p[1] & 0xF0u) << 4);
            const unsigned count = (p[1] & 0x0Fu) + kThreshold + 1;
            if (static_cast<size_t>(oend - op) < count) {
                stop = DecodeStop::kOutput;
                break;
            }
            p += 2;
            const unsigned w = (bias + static_cast<unsigned>(op - base)) & kRingMask;
            CopyChecked(op, written, Distance(w, pos), count);
            op += count;
        }
        flags = f >> 1;
        ip = p;
    }
    *ipp = ip;
    *opp = op;
    *flagsp = flags;
    return stop;
}

size_t Decompress(const void* src, size_t srcSize, void* dst, size_t dstCapacity)
{
    const uint8_t* ip = static_cast<const uint8_t*>(src);
    uint8_t* base = static_cast<uint8_t*>(dst);
    uint8_t* op = base;
    unsigned flags = 1;
    if (DecodeItems(&ip, ip + srcSize, base, &op, base + dstCapacity, 0, &flags) == DecodeStop::kOutput)
        return kError;
    return static_cast<size_t>(op - base);
}

}  // namespace lzss

LzssDecoder::LzssDecoder(size_t blockSize) : block_(std::max<size_t>(blockSize, lzss::kMaxMatch))
{
    window_.resize(std::min<size_t>(lzss::kRingSize + block_, size_t(2) * lzss::kRingSize));
    Reset();
}

void LzssDecoder::Reset()
{
    history_ = 0;
    pos_ = 0;
    origin_ = 0;
    flags_ = 1;
}

bool LzssDecoder::Flush(Sink& sink)
{
    if (pos_ > history_ && !sink.Put(window_.data() + history_, pos_ - history_))
        return false;
    // Keep one ring's worth of output for the references still to come.
    const size_t keep = pos_ < static_cast<size_t>(lzss::kRingSize) ? pos_ : lzss::kRingSize;
    std::memmove(window_.data(), window_.data() + pos_ - keep, keep);
    origin_ += pos_ - keep;
    pos_ = keep;
    history_ = keep;
    return true;
}

bool LzssDecoder::Decode(const uint8_t* src, size_t srcSize, bool last, size_t* consumed, Sink& sink)
{
    const uint8_t* ip = src;
    const uint8_t* const iend = src + srcSize;
    for (;;) {
        // A block ends blockSize bytes after the history.
        const size_t end = history_ + block_;
        uint8_t* base = window_.data();
        uint8_t* op = base + pos_;
        const lzss::DecodeStop stop = lzss::DecodeItems(&ip, iend, base, &op, base + std::min(end, window_.size()),
                                                        origin_, &flags_);
        pos_ = static_cast<size_t>(op - base);
        if (stop == lzss::DecodeStop::kInput)
            break;
        if (window_.size() < end) {
            window_.resize(std::min(end, 2 * window_.size()));
            continue;
        }
        if (!Flush(sink)) {
            *consumed = static_cast<size_t>(ip - src);
            return false;
        }
    }
    *consumed = static_cast<size_t>(ip - src);
    return !last || Flush(sink);
}
