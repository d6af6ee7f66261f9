#include "service/pipe/ServiceCommandServerThread.h"

namespace Quelmar {

IMPLEMENT_DYNCREATE(ServiceCommandServerThread, CWinThread)

ServiceCommandServerThread::ServiceCommandServerThread()
{
    // The service core waits on the thread's handle after its end and deletes it then.
    m_bAutoDelete = FALSE;
}

BOOL ServiceCommandServerThread::InitInstance()
{
    server_.Serve();
    return FALSE;
}

}  // namespace Quelmar
