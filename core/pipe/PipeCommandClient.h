#pragma once
//
//  The connecting end of the service's pipe. It connects for identification only, so the
//  server can learn who it serves but never act as this program. Windows builds only.
//
#include "core/pipe/PipeCommandBase.h"

class PipeCommandClient : public PipeCommandBase {
public:
    PipeCommandClient(LPCWSTR pipeName, DWORD pieceSize) : PipeCommandBase(pipeName, pieceSize) {}

    // Opens the pipe once.
    virtual BOOL Connect();
    // Opens the pipe, trying again every 10 ms until the time-out has passed.
    virtual BOOL ConnectWait(DWORD milliseconds);
};
