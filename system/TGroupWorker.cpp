#include "TGroupWorker.h"

#include "SentMessageWait.h"

#include <process.h>

#include <utility>

// What the caller's thread and the worker share. Either may be the last to
// let go of it: a worker that is given up may still be inside a job.
struct TGroupWorker::Shared {
    Shared() = default;
    ~Shared()
    {
        CloseHandle(jobReady);
        CloseHandle(jobDone);
    }
    Shared(const Shared&) = delete;
    Shared& operator=(const Shared&) = delete;

    LONG references = 2;
    HANDLE jobReady = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    HANDLE jobDone = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    // Written before jobReady is set (the job, quit) or jobDone is
    // (connected, result); read after the wait for it.
    Job job;
    Status result;
    bool connected = false;
    bool quit = false;
};

namespace {

// The worker's wait for its next job, dispatching whatever comes meanwhile.
bool WaitForJob(HANDLE jobReady)
{
    for (;;) {
        const DWORD woken = MsgWaitForMultipleObjects(1, &jobReady, FALSE, INFINITE, QS_ALLINPUT);
        if (woken == WAIT_OBJECT_0)
            return true;
        if (woken != WAIT_OBJECT_0 + 1)
            return false;
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT)
                return false;
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
    }
}

Status TimedOut()
{
    return Status::Failure(Fault::kPlatform, "PROGMAN did not answer in time.", "Create Group");
}

}  // namespace

unsigned __stdcall TGroupWorker::Main(void* argument)
{
    auto* shared = static_cast<Shared*>(argument);
    {
        TGrupoAplicativo client;
        shared->connected = client.Connected();
        SetEvent(shared->jobDone);
        while (WaitForJob(shared->jobReady) && !shared->quit) {
            // The program is built without exceptions: a job reports its
            // failure in its Status, and running out of memory ends the
            // program where it happens.
            shared->result = shared->job(client);
            SetEvent(shared->jobDone);
        }
    }
    Release(shared);
    return 0;
}

void TGroupWorker::Release(Shared* shared)
{
    if (InterlockedDecrement(&shared->references) == 0)
        delete shared;
}

TGroupWorker::TGroupWorker(DWORD connectMs) : shared_(new Shared)
{
    if (shared_->jobReady != nullptr && shared_->jobDone != nullptr)
        thread_ = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, &TGroupWorker::Main, shared_, 0, nullptr));
    if (thread_ == nullptr) {
        // The worker's share of it was never handed over.
        Release(shared_);
        givenUp_ = true;
        return;
    }
    givenUp_ = !WaitLettingSentMessagesThrough(shared_->jobDone, connectMs);
    connected_ = !givenUp_ && shared_->connected;
}

TGroupWorker::~TGroupWorker()
{
    if (!givenUp_)
        Run([](TGrupoAplicativo& client) { return client.Close(); }, kCloseMs);
    if (thread_ != nullptr) {
        shared_->quit = true;
        SetEvent(shared_->jobReady);
        if (!givenUp_)
            WaitForSingleObject(thread_, kCloseMs);
        CloseHandle(thread_);
    }
    Release(shared_);
}

Status TGroupWorker::Run(Job job, DWORD boundMs)
{
    if (givenUp_)
        return TimedOut();
    shared_->job = std::move(job);
    SetEvent(shared_->jobReady);
    if (!WaitLettingSentMessagesThrough(shared_->jobDone, boundMs)) {
        givenUp_ = true;
        return TimedOut();
    }
    return shared_->result;
}
