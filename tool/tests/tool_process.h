#pragma once
//
//  The real QEVRINTool.exe of this build, started as a child of the test under the test's own
//  Wine server, so that its windows can be found by its main thread and driven by messages.
//  A child still running when the object goes is terminated.
//
#include "classlib/ScopedHandle.h"

#include <windows.h>

#include <string>

class ToolProcess {
public:
    explicit ToolProcess(const std::wstring& arguments);
    ~ToolProcess();
    ToolProcess(const ToolProcess&) = delete;
    ToolProcess& operator=(const ToolProcess&) = delete;

    bool Started() const { return process_.IsValid(); }
    DWORD ThreadId() const { return threadId_; }
    // The exit code, or STILL_ACTIVE when the program did not end before the deadline.
    DWORD WaitForExit(DWORD timeoutMs);
    void Terminate();

private:
    ScopedHandle process_;
    ScopedHandle thread_;
    DWORD threadId_ = 0;
};

// The program file of the build's QEVRINTool.exe, as a Windows path.
std::wstring ToolProgramPath();
