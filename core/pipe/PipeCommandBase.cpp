#include "core/pipe/PipeCommandBase.h"

#include "classlib/ScopedHandle.h"
#include "core/pipe/ServiceProtocol.h"

PipeCommandBase::PipeCommandBase(LPCWSTR pipeName, DWORD pieceSize)
    : pipeName_(pipeName), pieceSize_(pieceSize == 0 ? 1 : pieceSize)
{
}

PipeCommandBase::~PipeCommandBase()
{
    if (pipe_ != INVALID_HANDLE_VALUE) {
        CloseHandle(pipe_);
    }
}

void PipeCommandBase::Close()
{
    if (pipe_ != INVALID_HANDLE_VALUE) {
        CloseHandle(pipe_);
        pipe_ = INVALID_HANDLE_VALUE;
    }
}

int PipeCommandBase::Wait(HANDLE* event)
{
    return WaitForSingleObject(*event, waitLimit_) == WAIT_OBJECT_0 ? 1 : 0;
}

BOOL PipeCommandBase::FinishPending(OVERLAPPED& overlapped, DWORD& transferred)
{
    if (Wait(&overlapped.hEvent) == 1) {
        // The event came: the operation has completed and GetOverlappedResult does not wait.
        return GetOverlappedResult(pipe_, &overlapped, &transferred, TRUE);
    }
    CancelIoEx(pipe_, &overlapped);
    // Waits for the cancellation (or a completion that raced it) before the frame unwinds.
    GetOverlappedResult(pipe_, &overlapped, &transferred, TRUE);
    SetLastError(ERROR_OPERATION_ABORTED);
    return FALSE;
}

BOOL PipeCommandBase::Write(const BYTE* data, DWORD length)
{
    ScopedHandle event(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    if (!event.IsValid()) {
        return FALSE;
    }
    OVERLAPPED overlapped = {};
    overlapped.hEvent = event.Get();
    DWORD written = 0;
    BOOL ok = WriteFile(pipe_, data, length, &written, &overlapped);
    if (!ok && GetLastError() == ERROR_IO_PENDING) {
        ok = FinishPending(overlapped, written);
    }
    if (ok && written != length) {
        SetLastError(ERROR_WRITE_FAULT);
        return FALSE;
    }
    return ok;
}

BOOL PipeCommandBase::Read(std::vector<BYTE>& message)
{
    message.clear();
    DWORD offset = 0;
    for (;;) {
        const DWORD room = Quelmar::PipeMessageLimit - offset;
        const DWORD ask = pieceSize_ < room ? pieceSize_ : room;
        message.resize(offset + ask);

        ScopedHandle event(CreateEventW(nullptr, FALSE, FALSE, nullptr));
        BOOL ok = FALSE;
        bool givenUp = false;
        DWORD received = 0;
        if (event.IsValid()) {
            OVERLAPPED overlapped = {};
            overlapped.hEvent = event.Get();
            ok = ReadFile(pipe_, message.data() + offset, ask, &received, &overlapped);
            if (!ok && GetLastError() == ERROR_IO_PENDING) {
                ok = FinishPending(overlapped, received);
                givenUp = !ok && GetLastError() == ERROR_OPERATION_ABORTED;
            }
        }
        if (!ok) {
            // Bytes received before a broken pipe are the message; a wait given up is not.
            message.resize(givenUp ? 0 : offset);
            return !message.empty();
        }
        offset += received;
        message.resize(offset);

        DWORD available = 0;
        if (!PeekNamedPipe(pipe_, nullptr, 0, nullptr, &available, nullptr)) {
            available = 0;
        }
        if (available == 0) {
            return TRUE;
        }
        if (available > Quelmar::PipeMessageLimit - offset) {
            message.clear();
            SetLastError(ERROR_MESSAGE_EXCEEDS_MAX_SIZE);
            return FALSE;
        }
    }
}
