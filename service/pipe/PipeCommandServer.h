#pragma once
//
//  The serving end of the service's pipe: one instance, created once and kept for the
//  service's life so that no other process can take the name between clients; clients are
//  served one after another, each until its read fails. A stop event ends any wait at once.
//  Windows builds only.
//
#include "core/pipe/PipeCommandBase.h"
#include "classlib/CException.h"
#include "classlib/ScopedHandle.h"

#include <atomic>

class PipeCommandServer : public PipeCommandBase {
public:
    // Throws CResourceException when its stop event cannot be made.
    PipeCommandServer(LPCWSTR pipeName, DWORD pieceSize);

    // The I/O event or the stop event: 1 for the I/O, 0 for the stop (the caller then cancels
    // its operation; the handle stays open until Close).
    int Wait(HANDLE* event) override;
    // The server's loop: 0 after a stop, -1 when the stop came before the pipe existed.
    virtual int Serve();
    // The pipe with its access list, as the first and only instance of its name.
    virtual BOOL Create();
    // Waits for the next client, without a time limit.
    virtual BOOL Connect();
    // One request of the connected client.
    virtual void OnRequest(const std::vector<BYTE>& request) = 0;

    // From another thread: ends the loop and every wait in it.
    void RequestStop();
    bool IsStopping() const { return stopFlag_ != 0; }

    // Between two tries to create the pipe.
    static const DWORD CreateRetryDelay = 1000;

private:
    ScopedHandle stopEvent_;
    std::atomic<LONG> stopFlag_{0};
};
