#pragma once
//
//  The testbed control pipe of a variant: one instance, message mode, served by a thread of
//  its own until the server is destroyed. Each request message gets one reply message from
//  the handler; a request longer than the limit is answered with an error and never handed on.
//
#include "classlib/ScopedHandle.h"

#include <functional>
#include <string>
#include <thread>

namespace testbed {
namespace variant {

class ControlServer {
public:
    typedef std::function<std::string(const std::string& request)> Handler;

    ControlServer(std::wstring pipeName, Handler handler);
    ~ControlServer();
    ControlServer(const ControlServer&) = delete;
    ControlServer& operator=(const ControlServer&) = delete;

    // False when the pipe could not be created; the reason is in Error().
    bool Running() const { return thread_.joinable(); }
    DWORD Error() const { return error_; }

private:
    void Run();
    void Serve();
    // Waits for the overlapped operation or the stop; false on the stop or a failure.
    bool Complete(OVERLAPPED& overlapped, BOOL started, DWORD& transferred);

    std::wstring name_;
    Handler handler_;
    ScopedHandle pipe_;
    ScopedHandle stop_;
    ScopedHandle io_;
    DWORD error_ = 0;
    std::thread thread_;
};

}  // namespace variant
}  // namespace testbed
