// A one-line progress bar on standard error: files done, bytes, speed.
// Silent unless enabled (the caller enables it on a terminal only).
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>

class Progress {
public:
    Progress(bool enabled, size_t totalFiles, uint64_t totalBytes);
    ~Progress();
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;

    // Redraws at most ten times a second.
    void Update(size_t files, uint64_t bytes);
    // Draws the final state and ends the line.
    void Finish(size_t files, uint64_t bytes);

    // Whether standard error is a terminal.
    static bool ErrorIsTerminal();

private:
    void Draw(size_t files, uint64_t bytes);

    bool enabled_;
    bool drawn_ = false;
    size_t totalFiles_;
    uint64_t totalBytes_;
    std::chrono::steady_clock::time_point start_;
    std::chrono::steady_clock::time_point last_;
};
