#pragma once
//
//  The argument block of a synchronous request to a worker thread. The requester may give up
//  waiting while the worker still holds the block, so the block is reference-counted and owns
//  its event: whoever lets go last frees both. Windows builds only.
//
#include "classlib/ScopedHandle.h"

#include <windows.h>

#include <atomic>

namespace Quelmar {

class ThreadRequest {
public:
    // A block with one reference and an unsignalled manual-reset event; null when either
    // cannot be made.
    static ThreadRequest* Create();

    void AddRef() { ++references_; }
    void Release();
    // The worker's answer is in: the requester may read the fields.
    void Complete() { SetEvent(event_.Get()); }
    HANDLE Event() const { return event_.Get(); }

    // Posts the request to the thread with a reference for the worker, which is dropped here
    // again when the post fails.
    BOOL Post(DWORD threadId, UINT message);
    // TRUE when the answer came within the limit; the block is then safe to read.
    BOOL WaitForAnswer(DWORD limitMilliseconds) const;

    DWORD processId = 0;
    LONG result = 0;
    DWORD driveLetter = 0;
    LONG found = 0;
    LONG state = -1;

private:
    ThreadRequest() = default;
    ~ThreadRequest() = default;

    std::atomic<LONG> references_{1};
    ScopedHandle event_;
};

}  // namespace Quelmar
