#include "Progress.h"

#include <cmath>
#include <cstdio>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace {

constexpr int kBarWidth = 24;
constexpr double kMega = 1024.0 * 1024.0;

}  // namespace

Progress::Progress(bool enabled, size_t totalFiles, uint64_t totalBytes)
    : enabled_(enabled), totalFiles_(totalFiles), totalBytes_(totalBytes), start_(std::chrono::steady_clock::now()),
      last_(start_)
{
}

Progress::~Progress()
{
    if (drawn_)
        std::fputc('\n', stderr);
}

bool Progress::ErrorIsTerminal()
{
#ifdef _WIN32
    return _isatty(_fileno(stderr)) != 0;
#else
    return isatty(fileno(stderr)) != 0;
#endif
}

void Progress::Update(size_t files, uint64_t bytes)
{
    if (!enabled_)
        return;
    const auto now = std::chrono::steady_clock::now();
    if (drawn_ && now - last_ < std::chrono::milliseconds(100))
        return;
    last_ = now;
    Draw(files, bytes);
}

void Progress::Finish(size_t files, uint64_t bytes)
{
    if (!enabled_)
        return;
    Draw(files, bytes);
    std::fputc('\n', stderr);
    drawn_ = false;
}

void Progress::Draw(size_t files, uint64_t bytes)
{
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    const double done = totalBytes_ > 0
                            ? static_cast<double>(bytes) / static_cast<double>(totalBytes_)
                            : (totalFiles_ > 0 ? static_cast<double>(files) / static_cast<double>(totalFiles_) : 1.0);
    const int filled = static_cast<int>(std::lround(done * kBarWidth));
    char bar[kBarWidth + 1];
    for (int i = 0; i < kBarWidth; ++i)
        bar[i] = i < filled ? '#' : '-';
    bar[kBarWidth] = '\0';
    const double speed = seconds > 0.05 ? static_cast<double>(bytes) / kMega / seconds : 0.0;
    std::fprintf(stderr, "\r[%s] %3d%%  %zu/%zu files  %.1f/%.1f MB  %.1f MB/s   ", bar,
                 static_cast<int>(std::lround(done * 100.0)), files, totalFiles_, static_cast<double>(bytes) / kMega,
                 static_cast<double>(totalBytes_) / kMega, speed);
    std::fflush(stderr);
    drawn_ = true;
}
