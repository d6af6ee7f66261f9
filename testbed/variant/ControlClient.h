#pragma once
//
//  The test's end of the testbed control pipe: connect, send one request line, read its reply.
//  Every wait is bounded, so a variant that hangs fails the test instead of stalling it.
//
#include "classlib/ScopedHandle.h"

#include <string>

namespace testbed {
namespace variant {

class ControlClient {
public:
    // Tries until the pipe takes the connection or the time is up.
    bool Connect(DWORD timeoutMilliseconds, std::string& error);
    // The reply text ("ok ..." or "error ..."); false with the reason when the exchange failed.
    bool Request(const std::string& request, std::string& reply, std::string& error,
                 DWORD timeoutMilliseconds = 30000);
    void Close() { pipe_.Reset(); }

private:
    bool Wait(OVERLAPPED& overlapped, DWORD timeoutMilliseconds, DWORD& transferred, std::string& error);

    ScopedHandle pipe_;
    ScopedHandle io_;
};

// Connects, sends one request, returns the reply, or "error ..." with what went wrong.
std::string ControlRequestOnce(const std::string& request, DWORD connectTimeoutMilliseconds = 10000);

}  // namespace variant
}  // namespace testbed
