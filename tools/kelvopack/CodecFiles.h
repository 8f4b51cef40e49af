// The file side shared by compress and decompress: opening the two files,
// refusing to write over the input, and removing a half-written output.
#pragma once

#include "File.h"

#include <string>

class CodecFiles {
public:
    // Throws ToolError when the input cannot be read, the output cannot be
    // created, or both are the same file.
    CodecFiles(const std::string& input, const std::string& output);
    // Removes the output unless Finish() succeeded.
    ~CodecFiles();
    CodecFiles(const CodecFiles&) = delete;
    CodecFiles& operator=(const CodecFiles&) = delete;

    File& In() { return in_; }
    File& Out() { return out_; }
    // Throws ToolError when a read or write failed.
    void Finish();

    [[noreturn]] void WriteFailed() const;
    [[noreturn]] void ReadFailed() const;

private:
    std::string input_;
    std::string output_;
    File in_;
    File out_;
    bool done_ = false;
};
