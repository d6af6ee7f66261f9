#pragma once
//
//  One end of the service's pipe: whole messages written with one overlapped write and read
//  in pieces until the pipe holds no more. Messages carry no length; what one Write sends, one
//  Read collects. Windows builds only.
//
//  Every overlapped operation ends before its function returns: when Wait gives up (its time
//  limit, or the server's stop), the operation is cancelled and waited for, because its
//  OVERLAPPED and buffer live on this stack frame.
//
#include "classlib/CString.h"

#include <windows.h>

#include <vector>

class PipeCommandBase {
public:
    PipeCommandBase(LPCWSTR pipeName, DWORD pieceSize);
    virtual ~PipeCommandBase();
    PipeCommandBase(const PipeCommandBase&) = delete;
    PipeCommandBase& operator=(const PipeCommandBase&) = delete;

    virtual void Close();
    // One message, from the start of the vector. FALSE when nothing was received, when the
    // message is longer than the protocol's limit (the vector is then empty), or when the wait
    // was given up.
    virtual BOOL Read(std::vector<BYTE>& message);
    // TRUE only when every byte was written.
    virtual BOOL Write(const BYTE* data, DWORD length);
    // Waits for an overlapped operation's event: 1 when the operation may be completed, 0 when
    // the wait was given up.
    virtual int Wait(HANDLE* event);

    BOOL IsOpen() const { return pipe_ != INVALID_HANDLE_VALUE; }
    HANDLE Handle() const { return pipe_; }
    // The longest wait for one read or write; INFINITE by default.
    void SetWaitLimit(DWORD milliseconds) { waitLimit_ = milliseconds; }

protected:
    // Completes an operation that went pending, or cancels it and waits until the system has
    // let go of its OVERLAPPED and buffer. TRUE when it completed successfully.
    BOOL FinishPending(OVERLAPPED& overlapped, DWORD& transferred);

    HANDLE pipe_ = INVALID_HANDLE_VALUE;
    CString pipeName_;
    DWORD pieceSize_;
    DWORD waitLimit_ = INFINITE;
};
