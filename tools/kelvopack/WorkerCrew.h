// The threads of a command's workers. An exception that escapes a worker
// must never end the program (std::terminate): the crew catches it and
// hands its message to the caller's handler, and the command then reports
// it like any other failure. The threads are joined when the crew ends,
// however its owner leaves.
#pragma once

#include <functional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

class WorkerCrew {
public:
    // Told, on the failing worker's thread, the message of an exception
    // that escaped the worker. May be called by several workers at once.
    using FailureHandler = std::function<void(const std::string& message)>;

    explicit WorkerCrew(FailureHandler onFailure);
    ~WorkerCrew();  // joins every worker
    WorkerCrew(const WorkerCrew&) = delete;
    WorkerCrew& operator=(const WorkerCrew&) = delete;

    // Runs `work` (any callable, moved in) on a thread of its own. Throws
    // std::system_error when the system starts no more threads; the workers
    // already started go on.
    template <class Work>
    void Start(Work work)
    {
        threads_.emplace_back([this, work = std::move(work)]() mutable {
            try {
                work();
            } catch (...) {
                Failed();
            }
        });
    }

    // Waits until every worker has ended.
    void Join();

    // Inside a catch block: what the exception being handled says.
    // "out of memory" for std::bad_alloc, the text of any other
    // std::exception, "unexpected failure" for anything else.
    static std::string CurrentMessage();

private:
    void Failed() noexcept;

    FailureHandler onFailure_;
    std::vector<std::thread> threads_;
};
