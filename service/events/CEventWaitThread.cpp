#include "service/events/CEventWaitThread.h"

namespace Quelmar {

namespace {

const DWORD kEventCreateLimit = 10000;
const DWORD kStopLimit = 10000;

}  // namespace

IMPLEMENT_DYNCREATE(CEventWaitThread, CWinThread)

CEventWaitThread::CEventWaitThread()
{
    // The service core waits on the thread's handle after its end and deletes it then.
    m_bAutoDelete = FALSE;
}

bool CEventWaitThread::CreateVolumeEvent(DWORD timeoutMilliseconds)
{
    const DWORD start = GetTickCount();
    for (;;) {
        event_.Reset(CreateEventW(nullptr, TRUE, FALSE, QUELMAR_VOLUME_EVENT_NAME));
        if (event_.IsValid()) {
            return true;
        }
        if (GetTickCount() - start >= timeoutMilliseconds) {
            return false;
        }
        Sleep(10);
    }
}

BOOL CEventWaitThread::InitInstance()
{
    while (stopFlag_ == 0) {
        if (WaitForSingleObject(event_.Get(), INFINITE) != WAIT_OBJECT_0) {
            // A wait that fails would fail again at once: end rather than spin.
            break;
        }
        if (stopFlag_ != 0) {
            break;
        }
        // Reset before the notification: a signal that comes while the observers run stays
        // set for the next wait instead of being erased.
        ResetEvent(event_.Get());
        Notify();
    }
    return TRUE;
}

CEventWaitThread* CreateVolumeEventThread(Observer* observer)
{
    CWinThread* started = AfxBeginThread(RUNTIME_CLASS(CEventWaitThread), THREAD_PRIORITY_NORMAL, 0, CREATE_SUSPENDED);
    if (started == nullptr) {
        return nullptr;
    }
    CEventWaitThread* thread = static_cast<CEventWaitThread*>(started);
    thread->Attach(observer);
    if (!thread->CreateVolumeEvent(kEventCreateLimit)) {
        StopVolumeEventThread(thread);
        return nullptr;
    }
    thread->ResumeThread();
    return thread;
}

void StopVolumeEventThread(CEventWaitThread* thread)
{
    if (thread == nullptr) {
        return;
    }
    thread->SetStopFlag();
    if (thread->VolumeEvent() != nullptr) {
        SetEvent(thread->VolumeEvent());
    }
    thread->PostThreadMessage(WM_QUIT, 0, 0);
    // A thread that was never resumed (its event could not be made) would otherwise sit out
    // the whole wait; with the stop flag set it ends at once.
    DWORD suspendCount = 0;
    do {
        suspendCount = thread->ResumeThread();
    } while (suspendCount > 1 && suspendCount != static_cast<DWORD>(-1));
    if (WaitForThreadOrTerminate(*thread, kStopLimit)) {
        delete thread;
    }
}

}  // namespace Quelmar
