#include "testbed/variant/ControlServer.h"

#include "testbed/variant/ControlRequest.h"

#include <vector>

namespace testbed {
namespace variant {

ControlServer::ControlServer(std::wstring pipeName, Handler handler)
    : name_(std::move(pipeName)), handler_(std::move(handler))
{
    stop_.Reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    io_.Reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    // One instance for the server's life, so nothing else takes the name between clients.
    pipe_.Reset(CreateNamedPipeW(name_.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE,
                                 PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT, 1, 64 * 1024, 4096, 5000,
                                 nullptr));
    if (!pipe_.IsValid()) {
        error_ = GetLastError();
        pipe_.Reset();
        return;
    }
    if (!stop_.IsValid() || !io_.IsValid()) {
        error_ = GetLastError();
        return;
    }
    thread_ = std::thread([this] { Run(); });
}

ControlServer::~ControlServer()
{
    if (thread_.joinable()) {
        SetEvent(stop_.Get());
        thread_.join();
    }
}

bool ControlServer::Complete(OVERLAPPED& overlapped, BOOL started, DWORD& transferred)
{
    if (!started && GetLastError() != ERROR_IO_PENDING && GetLastError() != ERROR_MORE_DATA)
        return false;
    HANDLE waits[] = {io_.Get(), stop_.Get()};
    if (WaitForMultipleObjects(2, waits, FALSE, INFINITE) != WAIT_OBJECT_0) {
        // The OVERLAPPED lives on the caller's stack: the I/O must be over before it returns.
        CancelIoEx(pipe_.Get(), &overlapped);
        GetOverlappedResult(pipe_.Get(), &overlapped, &transferred, TRUE);
        return false;
    }
    const BOOL finished = GetOverlappedResult(pipe_.Get(), &overlapped, &transferred, FALSE);
    // The last error then tells a message cut at the buffer's end (ERROR_MORE_DATA) from a whole one.
    const DWORD error = finished ? ERROR_SUCCESS : GetLastError();
    SetLastError(error);
    return finished || error == ERROR_MORE_DATA;
}

void ControlServer::Run()
{
    while (WaitForSingleObject(stop_.Get(), 0) == WAIT_TIMEOUT) {
        OVERLAPPED overlapped = {};
        overlapped.hEvent = io_.Get();
        ResetEvent(io_.Get());
        DWORD ignored = 0;
        const BOOL connected = ConnectNamedPipe(pipe_.Get(), &overlapped);
        if (connected || GetLastError() == ERROR_PIPE_CONNECTED || Complete(overlapped, FALSE, ignored)) {
            Serve();
        } else {
            // A pipe that keeps failing is retried, but never in a busy loop.
            WaitForSingleObject(stop_.Get(), 100);
        }
        DisconnectNamedPipe(pipe_.Get());
    }
}

void ControlServer::Serve()
{
    while (true) {
        std::vector<char> request(kMaxControlRequest + 1);
        OVERLAPPED overlapped = {};
        overlapped.hEvent = io_.Get();
        ResetEvent(io_.Get());
        DWORD read = 0;
        const BOOL done = ReadFile(pipe_.Get(), request.data(), static_cast<DWORD>(request.size()), &read, &overlapped);
        bool cut = false;
        if (!done) {
            if (!Complete(overlapped, FALSE, read))
                return;
            cut = GetLastError() == ERROR_MORE_DATA;
        }
        std::string reply;
        if (cut || read > kMaxControlRequest) {
            // The rest of an oversized message is read and dropped, so the next one starts clean.
            DWORD more = 0;
            char sink[4096];
            while (true) {
                OVERLAPPED drain = {};
                drain.hEvent = io_.Get();
                ResetEvent(io_.Get());
                const BOOL drained = ReadFile(pipe_.Get(), sink, sizeof(sink), &more, &drain);
                if (drained)
                    break;
                if (!Complete(drain, FALSE, more))
                    return;
                if (GetLastError() != ERROR_MORE_DATA)
                    break;
            }
            reply = "error request longer than " + std::to_string(kMaxControlRequest) + " bytes";
        } else {
            reply = handler_(std::string(request.data(), read));
        }
        OVERLAPPED write = {};
        write.hEvent = io_.Get();
        ResetEvent(io_.Get());
        DWORD written = 0;
        const BOOL sent = WriteFile(pipe_.Get(), reply.data(), static_cast<DWORD>(reply.size()), &written, &write);
        if (!sent && !Complete(write, FALSE, written))
            return;
    }
}

}  // namespace variant
}  // namespace testbed
