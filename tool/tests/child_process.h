#pragma once
//
//  A program started as a child of the test, under the test's own Wine server, so that its
//  windows can be found through its main thread and driven by messages. A child still running
//  when the object goes is terminated.
//
#include "classlib/ScopedHandle.h"

#include <windows.h>

#include <string>

class ChildProcess {
public:
    // The program's path is quoted in the command line; the arguments follow as given.
    ChildProcess(const std::wstring& program, const std::wstring& arguments);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool Started() const { return process_.IsValid(); }
    // Why the start failed; 0 when it did not.
    DWORD StartError() const { return startError_; }
    DWORD ThreadId() const { return threadId_; }
    // The exit code, or STILL_ACTIVE when the program did not end before the deadline.
    DWORD WaitForExit(DWORD timeoutMs) const;
    void Terminate();

private:
    ScopedHandle process_;
    ScopedHandle thread_;
    DWORD threadId_ = 0;
    DWORD startError_ = 0;
};
