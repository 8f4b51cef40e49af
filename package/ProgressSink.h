// A sink that passes decoded bytes on and tells a progress hook after each
// block, so that a long decode can be followed and stopped.
#pragma once

#include "LzssDecoder.h"
#include "ProgressHook.h"

class ProgressSink : public LzssDecoder::Sink {
public:
    ProgressSink(LzssDecoder::Sink& inner, ProgressHook* hook) : inner_(inner), hook_(hook) {}

    bool Put(const uint8_t* data, size_t size) override
    {
        if (!inner_.Put(data, size))
            return false;
        done_ += size;
        if (hook_ != nullptr && !hook_->Advance(done_)) {
            canceled_ = true;
            return false;
        }
        return true;
    }

    // Whether the hook, not the inner sink, stopped the decoding.
    bool Canceled() const { return canceled_; }

private:
    LzssDecoder::Sink& inner_;
    ProgressHook* hook_;
    uint64_t done_ = 0;
    bool canceled_ = false;
};
