#pragma once
//
//  The pipe thread: runs the command server's loop in InitInstance and ends with it, without a
//  message loop. Windows builds only.
//
#include "classlib/CWinThread.h"
#include "service/pipe/ServiceCommandServer.h"

namespace Quelmar {

class ServiceCommandServerThread : public CWinThread {
    DECLARE_DYNCREATE(ServiceCommandServerThread)

public:
    ServiceCommandServerThread();

    BOOL InitInstance() override;
    ServiceCommandServer& Server() { return server_; }

private:
    ServiceCommandServer server_;
};

}  // namespace Quelmar
