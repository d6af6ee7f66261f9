#pragma once
//
//  One receiver per session: a named mutex without the global prefix, so that it is the
//  session's own, taken for the program's lifetime.
//
#include "classlib/CSyncObject.h"

#include <memory>

extern const wchar_t kReceiverInstanceMutexName[];

class SessionSingleInstance {
public:
    // Creates (or opens) the mutex initially owned; without it no instance may run.
    explicit SessionSingleInstance(const wchar_t* name = kReceiverInstanceMutexName);
    SessionSingleInstance(const SessionSingleInstance&) = delete;
    SessionSingleInstance& operator=(const SessionSingleInstance&) = delete;

    // TRUE when this is the session's only instance: the lock is taken within 10 ms (or was
    // taken already).
    BOOL Acquire();
    void Release();

private:
    std::unique_ptr<CMutex> mutex_;
    std::unique_ptr<CSingleLock> lock_;
};
