#include "testbed/variant/drive/ServicePipe.h"

namespace scmtest {

const wchar_t kServicePipeName[] = L"\\\\.\\pipe\\{7BD16A35-8881-40A2-AE62-3B6E21EAE000}";

bool ServicePipe::Open(DWORD timeoutMilliseconds, DWORD access)
{
    const ULONGLONG deadline = GetTickCount64() + timeoutMilliseconds;
    while (true) {
        pipe_.Reset(CreateFileW(kServicePipeName, access, 0, nullptr, OPEN_EXISTING,
                                FILE_FLAG_OVERLAPPED | SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION, nullptr));
        if (pipe_.IsValid())
            break;
        error_ = GetLastError();
        if (GetTickCount64() >= deadline)
            return false;
        Sleep(20);
    }
    io_.Reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    return io_.IsValid();
}

bool ServicePipe::Exchange(const std::vector<uint8_t>& request, std::vector<uint8_t>& reply, DWORD timeoutMilliseconds)
{
    auto finish = [this, timeoutMilliseconds](OVERLAPPED& overlapped, BOOL started, DWORD& transferred) {
        if (!started && GetLastError() != ERROR_IO_PENDING) {
            error_ = GetLastError();
            return false;
        }
        if (WaitForSingleObject(io_.Get(), timeoutMilliseconds) != WAIT_OBJECT_0) {
            CancelIoEx(pipe_.Get(), &overlapped);
            GetOverlappedResult(pipe_.Get(), &overlapped, &transferred, TRUE);
            error_ = WAIT_TIMEOUT;
            return false;
        }
        if (!GetOverlappedResult(pipe_.Get(), &overlapped, &transferred, FALSE)) {
            error_ = GetLastError();
            return false;
        }
        return true;
    };
    OVERLAPPED write = {};
    write.hEvent = io_.Get();
    ResetEvent(io_.Get());
    DWORD written = 0;
    const BOOL sent = WriteFile(pipe_.Get(), request.data(), static_cast<DWORD>(request.size()), &written, &write);
    if (!finish(write, sent, written) || written != request.size())
        return false;
    reply.clear();
    while (true) {
        uint8_t piece[1024];
        OVERLAPPED read = {};
        read.hEvent = io_.Get();
        ResetEvent(io_.Get());
        DWORD got = 0;
        const BOOL done = ReadFile(pipe_.Get(), piece, sizeof(piece), &got, &read);
        if (!finish(read, done, got))
            return false;
        reply.insert(reply.end(), piece, piece + got);
        DWORD available = 0;
        if (!PeekNamedPipe(pipe_.Get(), nullptr, 0, nullptr, &available, nullptr) || available == 0)
            return true;
    }
}

std::vector<uint8_t> Request32(uint32_t code, std::initializer_list<uint32_t> payload)
{
    std::vector<uint8_t> bytes;
    auto put = [&bytes](uint32_t value) {
        for (int shift = 0; shift < 32; shift += 8)
            bytes.push_back(static_cast<uint8_t>(value >> shift));
    };
    put(code);
    for (uint32_t value : payload)
        put(value);
    return bytes;
}

std::vector<uint8_t> RequestLetter(uint32_t code, wchar_t letter)
{
    std::vector<uint8_t> bytes = Request32(code);
    bytes.push_back(static_cast<uint8_t>(letter));
    bytes.push_back(static_cast<uint8_t>(letter >> 8));
    return bytes;
}

std::vector<int32_t> Values(const std::vector<uint8_t>& reply)
{
    std::vector<int32_t> values;
    for (size_t at = 0; at + 4 <= reply.size(); at += 4)
        values.push_back(static_cast<int32_t>(reply[at] | reply[at + 1] << 8 | reply[at + 2] << 16 |
                                              static_cast<uint32_t>(reply[at + 3]) << 24));
    return values;
}

std::vector<int32_t> Reload()
{
    ServicePipe pipe;
    std::vector<uint8_t> reply;
    if (!pipe.Open(10000) || !pipe.Exchange(Request32(2), reply, 60000))
        return {};
    return Values(reply);
}

}  // namespace scmtest
