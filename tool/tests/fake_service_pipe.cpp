#include "tool/tests/fake_service_pipe.h"

#include <algorithm>

namespace {

constexpr const wchar_t* kPipeName = L"\\\\.\\pipe\\{7BD16A35-8881-40A2-AE62-3B6E21EAE000}";

void PutU32(std::vector<BYTE>& out, DWORD value)
{
    for (int i = 0; i < 4; ++i) {
        out.push_back(static_cast<BYTE>(value >> (8 * i)));
    }
}

DWORD GetU32(const std::vector<BYTE>& in, size_t offset)
{
    DWORD value = 0;
    for (int i = 0; i < 4; ++i) {
        value |= static_cast<DWORD>(in[offset + static_cast<size_t>(i)]) << (8 * i);
    }
    return value;
}

}  // namespace

FakeServicePipe::FakeServicePipe(DWORD exemptAnswer)
    : exemptAnswer_(exemptAnswer), stop_(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
      ready_(CreateEventW(nullptr, TRUE, FALSE, nullptr))
{
    thread_ = std::thread([this] { Serve(); });
    // The pipe exists before the test goes on, so no client waits for it.
    WaitForSingleObject(ready_.Get(), 5000);
}

FakeServicePipe::~FakeServicePipe()
{
    SetEvent(stop_.Get());
    thread_.join();
}

void FakeServicePipe::SetVersion(const DWORD (&version)[4])
{
    std::lock_guard<std::mutex> guard(lock_);
    std::copy(version, version + 4, version_);
}

std::vector<DWORD> FakeServicePipe::Codes()
{
    std::lock_guard<std::mutex> guard(lock_);
    return codes_;
}

std::vector<DWORD> FakeServicePipe::ProcessIds()
{
    std::lock_guard<std::mutex> guard(lock_);
    return processIds_;
}

bool FakeServicePipe::WaitForCommands(size_t count, DWORD timeoutMs)
{
    const DWORD start = GetTickCount();
    for (;;) {
        if (Codes().size() >= count) {
            return true;
        }
        if (GetTickCount() - start >= timeoutMs) {
            return false;
        }
        WaitForSingleObject(stop_.Get(), 10);
    }
}

bool FakeServicePipe::WaitIo(HANDLE pipe, OVERLAPPED& overlapped, DWORD& transferred)
{
    HANDLE waits[2] = {overlapped.hEvent, stop_.Get()};
    if (WaitForMultipleObjects(2, waits, FALSE, INFINITE) != WAIT_OBJECT_0) {
        CancelIo(pipe);
        GetOverlappedResult(pipe, &overlapped, &transferred, TRUE);
        return false;
    }
    return GetOverlappedResult(pipe, &overlapped, &transferred, FALSE) != FALSE;
}

std::vector<BYTE> FakeServicePipe::Answer(const std::vector<BYTE>& request)
{
    std::vector<BYTE> reply;
    if (request.size() < 4) {
        PutU32(reply, 2);
        return reply;
    }
    const DWORD code = GetU32(request, 0);
    DWORD version[4];
    {
        std::lock_guard<std::mutex> guard(lock_);
        std::copy(version_, version_ + 4, version);
        codes_.push_back(code);
        if ((code == 4 || code == 5) && request.size() == 8) {
            processIds_.push_back(GetU32(request, 4));
        }
    }
    switch (code) {
    case 1:
        PutU32(reply, 0);
        for (DWORD value : version) {
            PutU32(reply, value);
        }
        break;
    case 2:
    case 3:
        PutU32(reply, 0);
        break;
    case 4:
    case 5:
        PutU32(reply, request.size() == 8 ? 0 : 2);
        if (request.size() == 8) {
            PutU32(reply, exemptAnswer_);
        }
        break;
    default:
        PutU32(reply, 1);
        break;
    }
    return reply;
}

void FakeServicePipe::Serve()
{
    ScopedHandle pipe(CreateNamedPipeW(kPipeName, PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
                                       PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT, 1, 1024, 1024, 0, nullptr));
    ScopedHandle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    SetEvent(ready_.Get());
    if (!pipe.IsValid() || !event.IsValid()) {
        return;
    }
    for (;;) {
        OVERLAPPED overlapped = {};
        overlapped.hEvent = event.Get();
        ResetEvent(event.Get());
        DWORD transferred = 0;
        if (!ConnectNamedPipe(pipe.Get(), &overlapped)) {
            const DWORD error = GetLastError();
            if (error == ERROR_IO_PENDING) {
                if (!WaitIo(pipe.Get(), overlapped, transferred)) {
                    return;
                }
            } else if (error != ERROR_PIPE_CONNECTED) {
                return;
            }
        }
        // Serve requests on this connection until the client goes.
        for (;;) {
            std::vector<BYTE> request(1024);
            overlapped = {};
            overlapped.hEvent = event.Get();
            ResetEvent(event.Get());
            transferred = 0;
            BOOL read = ReadFile(pipe.Get(), request.data(), 1024, &transferred, &overlapped);
            if (!read && GetLastError() == ERROR_IO_PENDING) {
                read = WaitIo(pipe.Get(), overlapped, transferred) ? TRUE : FALSE;
                if (WaitForSingleObject(stop_.Get(), 0) == WAIT_OBJECT_0) {
                    return;
                }
            }
            if (!read) {
                break;
            }
            request.resize(transferred);
            const std::vector<BYTE> reply = Answer(request);
            overlapped = {};
            overlapped.hEvent = event.Get();
            ResetEvent(event.Get());
            BOOL written = WriteFile(pipe.Get(), reply.data(), static_cast<DWORD>(reply.size()), &transferred, &overlapped);
            if (!written && GetLastError() == ERROR_IO_PENDING) {
                written = WaitIo(pipe.Get(), overlapped, transferred) ? TRUE : FALSE;
            }
            if (!written) {
                break;
            }
        }
        DisconnectNamedPipe(pipe.Get());
        if (WaitForSingleObject(stop_.Get(), 0) == WAIT_OBJECT_0) {
            return;
        }
    }
}
