// Told how far a long job has come, and asked whether it may go on: the
// progress dialog answers it while members are extracted, tests use a fake.
#pragma once

#include <cstdint>

class ProgressHook {
public:
    // `done`: bytes written so far by the job at hand (one file). Called
    // after every block; false stops the job, which then reports a
    // cancellation.
    virtual bool Advance(uint64_t done) = 0;

protected:
    ~ProgressHook() = default;
};
