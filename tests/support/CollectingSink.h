// A decoder sink that keeps what it is handed, for comparing with the input.
#pragma once

#include "LzssDecoder.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

class CollectingSink final : public LzssDecoder::Sink {
public:
    bool Put(const uint8_t* data, size_t size) override
    {
        bytes.insert(bytes.end(), data, data + size);
        largest = std::max(largest, size);
        return true;
    }

    std::vector<uint8_t> bytes;
    size_t largest = 0;  // the largest block handed out
};
