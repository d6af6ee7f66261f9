#include "tool/USBDataEnumeratorThread.h"

#include "tool/ToolMessages.h"

IMPLEMENT_DYNCREATE(USBDataEnumeratorThread, CWinThread)

USBDataEnumeratorThread::Shared::Shared() : subscriberLock_(1, 1), snapshotLock_(1, 1)
{
}

void USBDataEnumeratorThread::Shared::Subscribe(HWND window)
{
    CSingleLock lock(&subscriberLock_, TRUE);
    subscribers_.emplace(window, WM_APP_DEVICES_CHANGED);
}

void USBDataEnumeratorThread::Shared::Unsubscribe(HWND window)
{
    CSingleLock lock(&subscriberLock_, TRUE);
    subscribers_.erase(window);
}

BOOL USBDataEnumeratorThread::Shared::RequestScan()
{
    std::lock_guard<std::mutex> guard(scanStateLock_);
    if (busy_) {
        // The running pass reads this under the same lock before it calls itself done.
        rescan_ = 1;
        return TRUE;
    }
    return ::PostThreadMessageW(threadId_, WM_APP_DEVICES_CHANGED, 0, 0);
}

void USBDataEnumeratorThread::Shared::GetDevices(UsbStorageDeviceList& devices)
{
    CSingleLock lock(&snapshotLock_, TRUE);
    devices = published_;
}

void USBDataEnumeratorThread::Shared::PurgeSubscribers()
{
    CSingleLock lock(&subscriberLock_, TRUE);
    for (auto it = subscribers_.begin(); it != subscribers_.end();) {
        it = ::IsWindow(it->first) ? std::next(it) : subscribers_.erase(it);
    }
}

void USBDataEnumeratorThread::Shared::PublishDevices(const UsbStorageDeviceList& devices)
{
    CSingleLock lock(&snapshotLock_, TRUE);
    published_ = devices;
}

void USBDataEnumeratorThread::Shared::NotifySubscribers()
{
    CSingleLock lock(&subscriberLock_, TRUE);
    for (const auto& subscriber : subscribers_) {
        if (::IsWindow(subscriber.first)) {
            ::PostMessageW(subscriber.first, subscriber.second, 0, 0);
        }
    }
}

USBDataEnumeratorThread::USBDataEnumeratorThread() : shared_(std::make_shared<Shared>())
{
}

USBDataEnumeratorThread::~USBDataEnumeratorThread() = default;

BOOL USBDataEnumeratorThread::Start(DWORD infoFlags, DWORD storageOnly, Link& link)
{
    link.Reset();
    CWinThread* created = AfxBeginThread(RUNTIME_CLASS(USBDataEnumeratorThread), THREAD_PRIORITY_NORMAL, 0,
                                         CREATE_SUSPENDED);
    USBDataEnumeratorThread* thread = static_cast<USBDataEnumeratorThread*>(created);
    if (thread == nullptr) {
        return FALSE;
    }
    thread->infoFlags_ = infoFlags;
    thread->storageOnly_ = storageOnly;
    thread->shared_->threadId_ = thread->m_nThreadID;
    // Everything the owner keeps is taken while the thread waits: once it runs, the object
    // may be gone at any moment.
    HANDLE copy = nullptr;
    if (!DuplicateHandle(GetCurrentProcess(), thread->m_hThread, GetCurrentProcess(), &copy, SYNCHRONIZE, FALSE, 0)) {
        const DWORD threadId = thread->m_nThreadID;
        thread->ResumeThread();
        ::PostThreadMessageW(threadId, WM_QUIT, 0, 0);
        return FALSE;
    }
    link.thread.Reset(copy);
    link.shared = thread->shared_;
    link.threadId = thread->m_nThreadID;
    thread->OnEnumerate();
    thread->ResumeThread();
    return TRUE;
}

BOOL USBDataEnumeratorThread::InitInstance()
{
    return TRUE;
}

ThreadMessageMap USBDataEnumeratorThread::GetThreadMessageMap() const
{
    static const ThreadMessageEntry entries[] = {
        OnThreadMessage(WM_APP_DEVICES_CHANGED, &USBDataEnumeratorThread::OnScanMessage),
    };
    return MakeThreadMessageMap(entries);
}

void USBDataEnumeratorThread::OnScanMessage(WPARAM, LPARAM)
{
    OnEnumerate();
}

void USBDataEnumeratorThread::OnEnumerate()
{
    Shared& shared = *shared_;
    UsbStorageDeviceList result;
    UsbDeviceEnumerator enumerator(result);
    enumerator.SetInfoMask(infoFlags_);
    enumerator.SetOptions(storageOnly_);
    shared.PurgeSubscribers();
    {
        std::lock_guard<std::mutex> guard(shared.scanStateLock_);
        shared.busy_ = 1;
    }
    // A pass that ends by an exception ends the thread: no later request may be folded into
    // it. The way out of the loop clears the flag itself, in the step that reads the rescan.
    struct NotBusyOnExit {
        Shared& shared;
        ~NotBusyOnExit()
        {
            std::lock_guard<std::mutex> guard(shared.scanStateLock_);
            shared.busy_ = 0;
        }
    } notBusy{shared};
    for (;;) {
        {
            std::lock_guard<std::mutex> guard(shared.scanStateLock_);
            shared.rescan_ = 0;
        }
        // The enumerator widens its mask by the Windows version on every walk; each pass
        // starts from the thread's own flags.
        enumerator.SetInfoMask(infoFlags_);
        enumerator.Walk();
        shared.PublishDevices(result);
        shared.NotifySubscribers();
        std::lock_guard<std::mutex> guard(shared.scanStateLock_);
        if (!shared.rescan_) {
            shared.busy_ = 0;
            break;
        }
    }
}
