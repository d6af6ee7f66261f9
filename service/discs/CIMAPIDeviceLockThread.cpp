#include "service/discs/CIMAPIDeviceLockThread.h"

IMPLEMENT_DYNCREATE(CIMAPIDeviceLockThread, CWinThread)

namespace {

// Holds the request semaphore for one step of the counter.
class RequestLock {
public:
    explicit RequestLock(HANDLE semaphore) : semaphore_(semaphore)
    {
        taken_ = MsgWaitForMultipleObjects(1, &semaphore_, FALSE, INFINITE, 0) == WAIT_OBJECT_0;
    }
    RequestLock(const RequestLock&) = delete;
    RequestLock& operator=(const RequestLock&) = delete;
    ~RequestLock()
    {
        if (taken_) {
            ReleaseSemaphore(semaphore_, 1, nullptr);
        }
    }
    bool Taken() const { return taken_; }

private:
    HANDLE semaphore_;
    bool taken_ = false;
};

}  // namespace

CIMAPIDeviceLockThread::CIMAPIDeviceLockThread() : requestSemaphore_(CreateSemaphoreW(nullptr, 1, 1, nullptr)) {}

bool CIMAPIDeviceLockThread::IncrementRequests()
{
    RequestLock lock(requestSemaphore_.Get());
    return lock.Taken() && requests_++ == 0;
}

bool CIMAPIDeviceLockThread::TakeRequests()
{
    RequestLock lock(requestSemaphore_.Get());
    if (!lock.Taken()) {
        return false;
    }
    const LONG taken = requests_;
    requests_ = 0;
    return taken > 1;
}

void CIMAPIDeviceLockThread::RequestPass()
{
    if (!Stopping() && IncrementRequests()) {
        PostThreadMessage(WM_APP_LOCK_NOW, 0, 0);
    }
}

BOOL CIMAPIDeviceLockThread::InitInstance()
{
    if (!HasSemaphore()) {
        return FALSE;
    }
    com_.emplace();
    // A master that cannot be made leaves every pass without work.
    recorders_.CreateMaster();
    if (!Stopping() && IncrementRequests()) {
        PostThreadMessage(WM_APP_LOCK_NOW, 1, 0);
    }
    return TRUE;
}

int CIMAPIDeviceLockThread::ExitInstance()
{
    stop_ = 1;
    if (timer_ != 0) {
        KillTimer(nullptr, timer_);
        timer_ = 0;
    }
    recorders_.ReleaseAll();
    com_.reset();
    return CWinThread::ExitInstance();
}

ThreadMessageMap CIMAPIDeviceLockThread::GetThreadMessageMap() const
{
    static const ThreadMessageEntry entries[] = {
        OnThreadMessage(WM_APP_LOCK_REQUEST, &CIMAPIDeviceLockThread::OnRequest),
        OnThreadMessage(WM_APP_LOCK_NOW, &CIMAPIDeviceLockThread::OnLock),
    };
    return MakeThreadMessageMap(entries);
}

void CIMAPIDeviceLockThread::OnRequest(WPARAM, LPARAM)
{
    if (!Stopping() && IncrementRequests()) {
        PostThreadMessage(WM_APP_LOCK_NOW, 2, 0);
    }
}

void CIMAPIDeviceLockThread::OnLock(WPARAM, LPARAM)
{
    if (Stopping()) {
        return;
    }
    if (timer_ != 0) {
        KillTimer(nullptr, timer_);
        timer_ = 0;
    }
    if (recorders_.HasMaster()) {
        recorders_.LockIdleRecorders();
    }
    const bool more = TakeRequests();
    if (Stopping()) {
        return;
    }
    if (more) {
        PostThreadMessage(WM_APP_LOCK_NOW, 3, 0);
    } else if (timer_ == 0) {
        // A thread timer: periodic until the next pass kills it, each expiry one request.
        timer_ = SetTimer(nullptr, 1000, kPassPeriod, &CIMAPIDeviceLockThread::OnTimer);
    }
}

void CALLBACK CIMAPIDeviceLockThread::OnTimer(HWND, UINT, UINT_PTR, DWORD)
{
    ::PostThreadMessageW(GetCurrentThreadId(), WM_APP_LOCK_REQUEST, 0, 0);
}

CIMAPIDeviceLockThread* StartDiscRecorderLockThread()
{
    if (!DiscRecorderSet::DiscMasterAvailable()) {
        return nullptr;
    }
    auto* thread = static_cast<CIMAPIDeviceLockThread*>(
        AfxBeginThread(RUNTIME_CLASS(CIMAPIDeviceLockThread), THREAD_PRIORITY_NORMAL, 0, CREATE_SUSPENDED));
    if (thread == nullptr) {
        return nullptr;
    }
    // The owner waits on the thread's handle at stop, so the object must outlive the thread.
    thread->m_bAutoDelete = FALSE;
    if (!thread->HasSemaphore()) {
        // Without its semaphore the thread ends at once, in InitInstance.
        thread->ResumeThread();
        WaitForSingleObject(thread->m_hThread, INFINITE);
        delete thread;
        return nullptr;
    }
    thread->ResumeThread();
    return thread;
}

void StopDiscRecorderLockThread(CIMAPIDeviceLockThread* thread)
{
    if (thread == nullptr) {
        return;
    }
    thread->PostThreadMessage(WM_QUIT, 0, 0);
    if (WaitForThreadOrTerminate(*thread, 10000)) {
        delete thread;
    }
}
