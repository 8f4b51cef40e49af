// Hands decoded bytes to an open file.
#pragma once

#include "File.h"
#include "LzssDecoder.h"

class FileSink : public LzssDecoder::Sink {
public:
    explicit FileSink(File& file) : file_(file) {}
    bool Put(const uint8_t* data, size_t size) override { return file_.Write(data, size); }

private:
    File& file_;
};
