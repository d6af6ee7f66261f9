#include "testbed/variant/ControlClient.h"

#include "testbed/variant/ControlRequest.h"

#include <vector>

namespace testbed {
namespace variant {

bool ControlClient::Connect(DWORD timeoutMilliseconds, std::string& error)
{
    const std::string narrow = kControlPipeName;
    const std::wstring name(narrow.begin(), narrow.end());
    const ULONGLONG start = GetTickCount64();
    while (true) {
        pipe_.Reset(CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                FILE_FLAG_OVERLAPPED | SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION, nullptr));
        if (pipe_.IsValid())
            break;
        const DWORD failure = GetLastError();
        if (GetTickCount64() - start >= timeoutMilliseconds) {
            error = "cannot connect to the control pipe (error " + std::to_string(failure) + ")";
            pipe_.Reset();
            return false;
        }
        if (failure == ERROR_PIPE_BUSY)
            WaitNamedPipeW(name.c_str(), 100);
        else
            ::Sleep(20);
    }
    DWORD mode = PIPE_READMODE_MESSAGE;
    if (!SetNamedPipeHandleState(pipe_.Get(), &mode, nullptr, nullptr)) {
        error = "cannot set the control pipe to message mode (error " + std::to_string(GetLastError()) + ")";
        pipe_.Reset();
        return false;
    }
    io_.Reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!io_.IsValid()) {
        error = "cannot create an event (error " + std::to_string(GetLastError()) + ")";
        pipe_.Reset();
        return false;
    }
    return true;
}

bool ControlClient::Wait(OVERLAPPED& overlapped, DWORD timeoutMilliseconds, DWORD& transferred, std::string& error)
{
    if (WaitForSingleObject(io_.Get(), timeoutMilliseconds) != WAIT_OBJECT_0) {
        // The OVERLAPPED is the caller's: the I/O ends before it goes.
        CancelIoEx(pipe_.Get(), &overlapped);
        GetOverlappedResult(pipe_.Get(), &overlapped, &transferred, TRUE);
        error = "the variant did not answer within " + std::to_string(timeoutMilliseconds) + " ms";
        return false;
    }
    if (GetOverlappedResult(pipe_.Get(), &overlapped, &transferred, FALSE))
        return true;
    if (GetLastError() == ERROR_MORE_DATA)
        return true;
    error = "control pipe I/O failed (error " + std::to_string(GetLastError()) + ")";
    return false;
}

bool ControlClient::Request(const std::string& request, std::string& reply, std::string& error,
                            DWORD timeoutMilliseconds)
{
    if (!pipe_.IsValid()) {
        error = "not connected";
        return false;
    }
    OVERLAPPED write = {};
    write.hEvent = io_.Get();
    ResetEvent(io_.Get());
    DWORD written = 0;
    if (!WriteFile(pipe_.Get(), request.data(), static_cast<DWORD>(request.size()), &written, &write)) {
        if (GetLastError() != ERROR_IO_PENDING) {
            error = "cannot send the request (error " + std::to_string(GetLastError()) + ")";
            return false;
        }
        if (!Wait(write, timeoutMilliseconds, written, error))
            return false;
    }
    if (written != request.size()) {
        error = "the request was sent short";
        return false;
    }
    reply.clear();
    std::vector<char> piece(64 * 1024);
    while (true) {
        OVERLAPPED read = {};
        read.hEvent = io_.Get();
        ResetEvent(io_.Get());
        DWORD got = 0;
        bool more = false;
        if (ReadFile(pipe_.Get(), piece.data(), static_cast<DWORD>(piece.size()), &got, &read)) {
            more = false;
        } else if (GetLastError() == ERROR_MORE_DATA) {
            GetOverlappedResult(pipe_.Get(), &read, &got, TRUE);
            more = true;
        } else if (GetLastError() == ERROR_IO_PENDING) {
            if (!Wait(read, timeoutMilliseconds, got, error))
                return false;
            more = GetLastError() == ERROR_MORE_DATA;
        } else {
            error = "cannot read the reply (error " + std::to_string(GetLastError()) + ")";
            return false;
        }
        reply.append(piece.data(), got);
        if (!more)
            return true;
    }
}

std::string ControlRequestOnce(const std::string& request, DWORD connectTimeoutMilliseconds)
{
    ControlClient client;
    std::string error;
    std::string reply;
    if (!client.Connect(connectTimeoutMilliseconds, error) || !client.Request(request, reply, error))
        return "error " + error;
    return reply;
}

}  // namespace variant
}  // namespace testbed
