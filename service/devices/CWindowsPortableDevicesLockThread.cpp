#include "service/devices/CWindowsPortableDevicesLockThread.h"

#include "service/devices/PortableDeviceRecord.h"

namespace Quelmar {

namespace {

const UINT_PTR kTimerId = 1000;
const DWORD kStopWaitMilliseconds = 10000;

// Holds the request semaphore as a mutex over the counter.
class RequestLock {
public:
    explicit RequestLock(HANDLE semaphore) : semaphore_(semaphore)
    {
        held_ = MsgWaitForMultipleObjects(1, &semaphore_, FALSE, INFINITE, 0) == WAIT_OBJECT_0;
    }
    ~RequestLock()
    {
        if (held_)
            ReleaseSemaphore(semaphore_, 1, nullptr);
    }
    RequestLock(const RequestLock&) = delete;
    RequestLock& operator=(const RequestLock&) = delete;
    bool Held() const { return held_; }

private:
    HANDLE semaphore_;
    bool held_ = false;
};

}  // namespace

IMPLEMENT_DYNCREATE(CWindowsPortableDevicesLockThread, CWinThread)

CWindowsPortableDevicesLockThread::CWindowsPortableDevicesLockThread()
    : requestSemaphore_(CreateSemaphoreW(nullptr, 1, 1, nullptr))
{
}

CWindowsPortableDevicesLockThread::~CWindowsPortableDevicesLockThread() = default;

ThreadMessageMap CWindowsPortableDevicesLockThread::GetThreadMessageMap() const
{
    static const ThreadMessageEntry entries[] = {
        OnThreadMessage(WM_APP_LOCK_REQUEST, &CWindowsPortableDevicesLockThread::OnRequest),
        OnThreadMessage(WM_APP_LOCK_NOW, &CWindowsPortableDevicesLockThread::OnLock),
    };
    return MakeThreadMessageMap(entries);
}

BOOL CWindowsPortableDevicesLockThread::IncrementRequests()
{
    RequestLock lock(requestSemaphore_.Get());
    if (!lock.Held())
        return FALSE;
    return requests_++ == 0;
}

BOOL CWindowsPortableDevicesLockThread::TakeRequests()
{
    RequestLock lock(requestSemaphore_.Get());
    if (!lock.Held())
        return FALSE;
    LONG taken = requests_;
    requests_ = 0;
    return taken > 1;
}

BOOL CWindowsPortableDevicesLockThread::RequestPass()
{
    if (IsStopping() || !IncrementRequests())
        return FALSE;
    return PostThreadMessage(WM_APP_LOCK_NOW, 0, 0);
}

BOOL CWindowsPortableDevicesLockThread::InitInstance()
{
    // Devices that an earlier run could not enable are still in the stored record: they
    // become this thread's, so that rewriting the record keeps them and the end enables them.
    std::vector<CString> leftOver;
    if (!keyPath_.IsEmpty() && ReadRecordedDevices(keyPath_, leftOver))
        list_.SetRecordedDriverKeys(leftOver);
    if (!IsStopping() && IncrementRequests())
        PostThreadMessage(WM_APP_LOCK_NOW, 1, 0);
    return TRUE;
}

void CWindowsPortableDevicesLockThread::OnRequest(WPARAM, LPARAM)
{
    if (!IsStopping() && IncrementRequests())
        PostThreadMessage(WM_APP_LOCK_NOW, 2, 0);
}

void CWindowsPortableDevicesLockThread::OnLock(WPARAM, LPARAM)
{
    LockDevices();
}

void CWindowsPortableDevicesLockThread::KillPassTimer()
{
    if (timerId_ != 0) {
        KillTimer(nullptr, timerId_);
        timerId_ = 0;
    }
}

VOID CALLBACK CWindowsPortableDevicesLockThread::OnTimer(HWND, UINT, UINT_PTR, DWORD)
{
    ::PostThreadMessageW(GetCurrentThreadId(), WM_APP_LOCK_REQUEST, 0, 0);
}

void CWindowsPortableDevicesLockThread::LockDevices()
{
    if (IsStopping())
        return;
    KillPassTimer();
    BOOL disableFailed = FALSE;
    BOOL newDevice = FALSE;
    BOOL newlyRecorded = FALSE;
    list_.DisableAll(disableFailed, newDevice, newlyRecorded);
    if (newlyRecorded && !keyPath_.IsEmpty())
        RecordDevices(list_, keyPath_);
    if (newDevice)
        OnNewDevice();
    BOOL more = TakeRequests();
    if (IsStopping())
        return;
    if (more) {
        PostThreadMessage(WM_APP_LOCK_NOW, 3, 0);
    } else if (timerId_ == 0) {
        // Periodic: every expiry asks for a pass until the next pass kills it.
        timerId_ = SetTimer(nullptr, kTimerId, disableFailed ? kRetryPeriod : kPassPeriod, &OnTimer);
    }
}

int CWindowsPortableDevicesLockThread::ExitInstance()
{
    stopping_.store(true);
    KillPassTimer();
    list_.EnableRecorded();
    // What could not be enabled stays recorded for the next start; the key goes when nothing
    // is left in it.
    if (!keyPath_.IsEmpty()) {
        RecordDevices(list_, keyPath_);
        // From here the stored record speaks for them: the next start enables them.
        list_.SetRecordedDriverKeys({});
    }
    return CWinThread::ExitInstance();
}

void CWindowsPortableDevicesLockThread::RecordDevices(const PortableDeviceList& list, const CString& keyPath)
{
    Quelmar::RecordDevices(list, keyPath);
}

void CWindowsPortableDevicesLockThread::RestoreDevices(const CString& keyPath)
{
    Quelmar::RestoreDevices(keyPath);
}

void PortableDeviceLockThreadStopper::operator()(CWindowsPortableDevicesLockThread* thread) const
{
    if (!thread)
        return;
    if (thread->m_hThread) {
        thread->PostThreadMessage(WM_QUIT, 0, 0);
        if (!WaitForThreadOrTerminate(*thread, kStopWaitMilliseconds))
            return;
    }
    delete thread;
}

PortableDeviceLockThreadPtr StartPortableDeviceLockThread(const CString& keyPath, Observer* observer)
{
    CWinThread* started = AfxBeginThread(RUNTIME_CLASS(CWindowsPortableDevicesLockThread), THREAD_PRIORITY_NORMAL, 0,
                                         CREATE_SUSPENDED);
    if (!started)
        return PortableDeviceLockThreadPtr();
    PortableDeviceLockThreadPtr thread(static_cast<CWindowsPortableDevicesLockThread*>(started));
    // The owner waits on the thread and deletes the object after the thread's end, never the
    // thread itself.
    thread->m_bAutoDelete = FALSE;
    thread->SetKeyPath(keyPath);
    if (observer != nullptr)
        thread->Attach(observer);
    if (!thread->IsUsable()) {
        // Ends at once, before any pass, and is deleted here.
        thread->PostThreadMessage(WM_QUIT, 0, 0);
        thread->ResumeThread();
        return PortableDeviceLockThreadPtr();
    }
    thread->ResumeThread();
    return thread;
}

}  // namespace Quelmar
