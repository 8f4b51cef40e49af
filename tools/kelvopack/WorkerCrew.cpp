#include "WorkerCrew.h"

#include <exception>
#include <new>

WorkerCrew::WorkerCrew(FailureHandler onFailure) : onFailure_(std::move(onFailure))
{
}

WorkerCrew::~WorkerCrew()
{
    Join();
}

void WorkerCrew::Join()
{
    for (std::thread& thread : threads_) {
        if (thread.joinable())
            thread.join();
    }
}

std::string WorkerCrew::CurrentMessage()
{
    try {
        throw;
    } catch (const std::bad_alloc&) {
        return "out of memory";
    } catch (const std::exception& e) {
        return e.what();
    } catch (...) {
        return "unexpected failure";
    }
}

void WorkerCrew::Failed() noexcept
{
    try {
        onFailure_(CurrentMessage());
        return;
    } catch (...) {
    }
    // Making or handing on the message failed as well, which only exhausted
    // memory does; a message this short needs none.
    try {
        onFailure_("out of memory");
    } catch (...) {
    }
}
