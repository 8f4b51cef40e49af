// Makes every regular-file write beyond `bytes` fail (EFBIG) while the object
// lives: a full disk that works wherever the process may lower its own file
// size limit, unlike /dev/full, which some sandboxes replace by a sink.
#pragma once

#include <sys/resource.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>

class FullDisk {
public:
    explicit FullDisk(rlim_t bytes)
    {
        if (getrlimit(RLIMIT_FSIZE, &previous_) != 0)
            std::abort();
        // Without this the kernel ends the process instead of failing the write.
        previousSignal_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit lowered = previous_;
        lowered.rlim_cur = bytes;
        if (setrlimit(RLIMIT_FSIZE, &lowered) != 0)
            std::abort();
    }
    ~FullDisk()
    {
        setrlimit(RLIMIT_FSIZE, &previous_);
        std::signal(SIGXFSZ, previousSignal_);
    }
    // Whether this system enforces the limit, found by trying it once.
    static bool Enforced()
    {
        char name[] = "/tmp/kelvo-full-XXXXXX";
        const int fd = mkstemp(name);
        if (fd < 0)
            return false;
        bool failed = false;
        {
            FullDisk full(16);
            const std::string bytes(64, 'x');
            failed = write(fd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size());
        }
        close(fd);
        std::remove(name);
        return failed;
    }

    FullDisk(const FullDisk&) = delete;
    FullDisk& operator=(const FullDisk&) = delete;

private:
    rlimit previous_{};
    void (*previousSignal_)(int) = SIG_DFL;
};
