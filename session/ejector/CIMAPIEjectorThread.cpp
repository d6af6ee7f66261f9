#include "session/ejector/CIMAPIEjectorThread.h"

#include "session/ejector/CIMAPIEjectorFactory.h"

IMPLEMENT_DYNCREATE(CIMAPIEjectorThread, CWinThread)

BOOL CIMAPIEjectorThread::InitInstance()
{
    // The disc master lives in this thread's apartment.
    com_.emplace();
    ejector_.Initialize();
    pending_ = 0;
    DWORD failed = 0;
    ejector_.EjectAll(failed);
    if (failed != 0) {
        ScheduleRetry(failed);
    }
    return TRUE;
}

int CIMAPIEjectorThread::ExitInstance()
{
    if (retryTimer_ != 0) {
        KillTimer(nullptr, retryTimer_);
        retryTimer_ = 0;
    }
    ejector_.Uninitialize();
    com_.reset();
    return CWinThread::ExitInstance();
}

ThreadMessageMap CIMAPIEjectorThread::GetThreadMessageMap() const
{
    static const ThreadMessageEntry entries[] = {
        OnThreadMessage(WM_APP_EJECT, &CIMAPIEjectorThread::OnEject),
        OnThreadMessage(WM_APP_EJECT_RETRY, &CIMAPIEjectorThread::OnRetry),
    };
    return MakeThreadMessageMap(entries);
}

void CIMAPIEjectorThread::OnEject(WPARAM mask, LPARAM)
{
    DWORD failed = 0;
    ejector_.Eject(static_cast<DWORD>(mask), failed);
    if (failed != 0) {
        ScheduleRetry(failed);
    }
}

void CIMAPIEjectorThread::OnRetry(WPARAM, LPARAM)
{
    if (retryTimer_ != 0) {
        KillTimer(nullptr, retryTimer_);
        retryTimer_ = 0;
    }
    if (pending_ == 0) {
        return;
    }
    const DWORD mask = pending_;
    pending_ = 0;
    OnEject(mask, 0);
}

void CIMAPIEjectorThread::ScheduleRetry(DWORD mask)
{
    // A drive that fails while the timer runs joins the retry already under way.
    if (retryTimer_ == 0) {
        retryTimer_ = SetTimer(nullptr, kRetryTimerId, kRetryPeriod, &CIMAPIEjectorThread::OnRetryTimer);
    }
    pending_ |= mask;
}

void CALLBACK CIMAPIEjectorThread::OnRetryTimer(HWND, UINT, UINT_PTR, DWORD)
{
    ::PostThreadMessageW(GetCurrentThreadId(), WM_APP_EJECT_RETRY, 0, 0);
}

CIMAPIEjectorThread* StartEjectorThread()
{
    bool available = false;
    {
        ScopedCoInitialize com;
        available = CanCreateEjectorImplementation();
    }
    if (!available) {
        return nullptr;
    }
    auto* thread = static_cast<CIMAPIEjectorThread*>(
        AfxBeginThread(RUNTIME_CLASS(CIMAPIEjectorThread), THREAD_PRIORITY_NORMAL, 0, CREATE_SUSPENDED));
    if (thread == nullptr) {
        return nullptr;
    }
    // The owner waits on the thread's handle when it stops it, so the object must outlive
    // the thread. The queue exists already: a media arrival posted now is kept.
    thread->m_bAutoDelete = FALSE;
    thread->ResumeThread();
    return thread;
}

void StopEjectorThread(CIMAPIEjectorThread* thread)
{
    if (thread == nullptr) {
        return;
    }
    thread->PostThreadMessage(WM_QUIT, 0, 0);
    if (WaitForThreadOrTerminate(*thread, CIMAPIEjectorThread::kStopWait)) {
        delete thread;
    }
}
