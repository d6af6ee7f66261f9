#include "core/pipe/PipeCommandClient.h"

BOOL PipeCommandClient::Connect()
{
    Close();
    pipe_ = CreateFileW(pipeName_, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                        FILE_FLAG_OVERLAPPED | SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION, nullptr);
    return pipe_ != INVALID_HANDLE_VALUE;
}

BOOL PipeCommandClient::ConnectWait(DWORD milliseconds)
{
    // Elapsed time as an unsigned difference stays right when the tick count wraps.
    const DWORD start = GetTickCount();
    while (!Connect()) {
        if (GetTickCount() - start >= milliseconds) {
            return FALSE;
        }
        Sleep(10);
    }
    return TRUE;
}
