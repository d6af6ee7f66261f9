#pragma once
//
//  A stand-in for the service's end of the pipe: one server thread on the service's pipe name
//  that answers the tool's commands as the service does and records every request it gets.
//
#include "classlib/ScopedHandle.h"

#include <windows.h>

#include <mutex>
#include <thread>
#include <vector>

class FakeServicePipe {
public:
    // exemptAnswer: the value the driver "answers" to commands 4 and 5.
    explicit FakeServicePipe(DWORD exemptAnswer = 1);
    ~FakeServicePipe();
    FakeServicePipe(const FakeServicePipe&) = delete;
    FakeServicePipe& operator=(const FakeServicePipe&) = delete;

    // The interface version answered to command 1 from now on.
    void SetVersion(const DWORD (&version)[4]);
    // The command codes received so far, in order.
    std::vector<DWORD> Codes();
    // The process ids that came with commands 4 and 5, in order.
    std::vector<DWORD> ProcessIds();
    // Waits, up to the deadline, until at least count commands were received.
    bool WaitForCommands(size_t count, DWORD timeoutMs);

private:
    void Serve();
    bool WaitIo(HANDLE pipe, OVERLAPPED& overlapped, DWORD& transferred);
    std::vector<BYTE> Answer(const std::vector<BYTE>& request);

    DWORD exemptAnswer_;
    DWORD version_[4] = {1, 0, 1, 1};
    ScopedHandle stop_;
    ScopedHandle ready_;
    std::mutex lock_;
    std::vector<DWORD> codes_;
    std::vector<DWORD> processIds_;
    std::thread thread_;
};
