// Removes a file being written unless it was finished: neither a failure
// nor an exception leaves a half-written file behind. Declare it before the
// File that writes, so that the file is closed before it is removed.
#pragma once

#include "Platform.h"

#include <string>

class UnfinishedFile {
public:
    UnfinishedFile() = default;
    ~UnfinishedFile()
    {
        if (!path_.empty())
            platform::RemoveFile(path_.c_str());
    }
    UnfinishedFile(const UnfinishedFile&) = delete;
    UnfinishedFile& operator=(const UnfinishedFile&) = delete;

    // The file now exists and is ours to remove.
    void Arm(const std::string& path) { path_ = path; }
    void Finished() { path_.clear(); }

private:
    std::string path_;
};
