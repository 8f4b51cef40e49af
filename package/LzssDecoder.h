// The LZSS decompressor in streaming form: decodes straight into a window
// buffer that keeps the last ring's worth of output, and hands the decoded
// bytes to a sink in large blocks. State lives in the object.
#pragma once

#include "Lzss.h"

#include <cstddef>
#include <cstdint>
#include <vector>

class LzssDecoder {
public:
    // Receives decoded bytes; returns false to stop decoding (a failed write).
    class Sink {
    public:
        virtual bool Put(const uint8_t* data, size_t size) = 0;

    protected:
        ~Sink() = default;
    };

    // Decoded bytes reach the sink in blocks of up to blockSize bytes
    // (at least kMaxMatch, so that any item fits).
    explicit LzssDecoder(size_t blockSize = size_t(1) << 18);

    // Back to a fresh state for a new stream.
    void Reset();

    // Decodes src. Until `last` is true an item cut by the end of src is left
    // unconsumed (at most two bytes): pass them again, followed by more input.
    // With `last`, everything decoded is handed to the sink before returning.
    // Stores the bytes consumed in *consumed; false if the sink refused data.
    bool Decode(const uint8_t* src, size_t srcSize, bool last, size_t* consumed, Sink& sink);

    uint64_t BytesOut() const { return origin_ + pos_; }

private:
    bool Flush(Sink& sink);

    // Output not yet handed out, behind up to one ring of history. It starts
    // small and doubles up to a ring and a block as a stream's output grows,
    // so that a short stream costs no block-sized buffer.
    std::vector<uint8_t> window_;
    size_t block_;
    size_t history_ = 0;   // window_[0, history_) is output already handed out
    size_t pos_ = 0;       // next output byte goes to window_[pos_]
    uint64_t origin_ = 0;  // stream offset of window_[0]
    unsigned flags_ = 1;   // remaining flag bits above a sentinel bit
};

namespace lzss {

// Where one call of the decoding loop stopped.
enum class DecodeStop { kInput, kOutput };

// The decoding loop shared by the one-shot and the streaming decoder.
// `base` holds the output from stream offset `origin` on, up to `*op`; at
// least the last kRingSize bytes of output must be in front of `*op` (fewer
// only at the very start of the stream). Decodes whole items while the input
// holds them and the output has room for them.
DecodeStop DecodeItems(const uint8_t** ip, const uint8_t* iend, uint8_t* base, uint8_t** op, uint8_t* oend,
                       uint64_t origin, unsigned* flags);

}  // namespace lzss
